// riza3v-capture: the show rendered to files instead of a screen.
#include "tools/capture/capture.h"
#include "tools/capture/options.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    capture::Options options;
    std::string error;
    if (!capture::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "riza3v-capture: %s\n%s", error.c_str(), capture::kUsage);
        return 2;
    }
    return capture::runCapture(options);
}
