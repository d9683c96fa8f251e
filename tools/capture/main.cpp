// riza3v-capture: the show rendered to files instead of a screen.
#include "app/demo.h"
#include "tools/capture/capture.h"
#include "tools/capture/options.h"
#include "tools/capture/showfolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string workingFolder() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) != nullptr ? path : ".";
}

std::string executablePath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "";
}

// The command as it was given, without the size and rate: the way to run it
// again at another size. A wrapper script names itself in RIZA3V_RUN_COMMAND.
std::string commandWithoutSize(int argc, char** argv) {
    const char* wrapper = std::getenv("RIZA3V_RUN_COMMAND");
    std::string command = wrapper != nullptr && wrapper[0] != '\0' ? wrapper : argv[0];
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--width" || a == "--height" || a == "--fps") {
            ++i;
            continue;
        }
        command += " " + a;
    }
    return command;
}

} // namespace

int main(int argc, char** argv) {
    capture::Options options;
    std::string error;
    if (!capture::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "riza3v-capture: %s\n%s", error.c_str(), capture::kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(capture::kUsage, stdout);
        return 0;
    }
    const std::string here = workingFolder();
    std::string looked;
    const std::string folder = capture::findShowFolder(here, executablePath(), looked);
    if (folder.empty()) {
        std::fprintf(stderr,
                     "riza3v-capture: the show reads its shader sources from shaders/ in its working folder, and "
                     "none was found (looked in %s); run it from the repository top or from the build folder, "
                     "for example: cd /path/to/riza3v && build/tools/riza3v-capture\n",
                     looked.c_str());
        return 1;
    }
    // The output folder stays where it was asked for, relative to where the tool was started.
    if (folder != here) {
        if (options.outDir[0] != '/') {
            options.outDir = here + "/" + options.outDir;
        }
        if (chdir(folder.c_str()) != 0) {
            std::fprintf(stderr, "riza3v-capture: cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
            return 1;
        }
    }
    return capture::runCapture(options, commandWithoutSize(argc, argv), runDemo);
}
