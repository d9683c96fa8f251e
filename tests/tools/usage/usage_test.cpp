// --help and -h print the usage on standard output and end with status 0,
// for every tool that takes arguments; nothing else is done or said.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status;
    std::string out;
};

// Runs the command in a fresh empty folder, so that a tool that went on to
// work would leave files there; standard error is merged after a marker.
Outcome run(const std::string& command, const std::string& folder) {
    const std::string err = folder + ".stderr";
    FILE* pipe = popen(("mkdir -p '" + folder + "' && cd '" + folder + "' && " + command + " 2>'" + err +
                        "'; s=$?; echo '--stderr--'; cat '" + err + "'; rm '" + err + "'; exit $s")
                           .c_str(),
                       "r");
    Outcome r{-1, {}};
    if (pipe == nullptr) {
        return r;
    }
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        r.out.append(chunk.data(), n);
    }
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(Usage, HelpGoesToStandardOutputWithStatusZero) {
    const std::array<std::pair<const char*, const char*>, 4> tools = {{
        {CAPTURE_TOOL, "usage: riza3v-capture "},
        {XM2WAV_TOOL, "usage: xm2wav "},
        {TEXDUMP_TOOL, "usage: texdump "},
        {MESHDUMP_TOOL, "usage: meshdump "},
    }};
    for (const auto& [tool, usage] : tools) {
        for (const char* flag : {"--help", "-h"}) {
            const std::string folder = testing::TempDir() + "usage_" + std::to_string(::getpid());
            const Outcome r = run(std::string("'") + tool + "' " + flag, folder);
            EXPECT_EQ(r.status, 0) << tool << " " << flag << ": " << r.out;
            EXPECT_EQ(r.out.rfind(usage, 0), 0u) << tool << " " << flag << ": " << r.out;
            EXPECT_GT(r.out.find('\n'), std::string(usage).size()) << r.out;
            EXPECT_EQ(r.out.substr(r.out.size() - 11), "--stderr--\n") << "nothing on standard error: " << r.out;
            const Outcome listing = run("ls -A", folder);
            EXPECT_EQ(listing.out, "--stderr--\n") << tool << " " << flag << " wrote files";
            std::remove(folder.c_str());
        }
    }
}

} // namespace
