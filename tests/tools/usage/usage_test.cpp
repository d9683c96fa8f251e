// --help and -h print the usage on standard output and end with status 0,
// for every tool that takes arguments; nothing else is done or said.
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// Runs the command in a fresh empty folder, so that a tool that went on to
// work would leave files there.
tests::support::Outcome run(const std::string& command, const std::string& folder) {
    return tests::support::runShell("mkdir -p '" + folder + "' && cd '" + folder + "' && " + command);
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
            const tests::support::Outcome r = run("'" + tests::support::buildPath(tool) + "' " + flag, folder);
            EXPECT_EQ(r.status, 0) << tool << " " << flag << ": " << r.out;
            EXPECT_EQ(r.out.rfind(usage, 0), 0u) << tool << " " << flag << ": " << r.out;
            EXPECT_GT(r.out.find('\n'), std::string(usage).size()) << r.out;
            EXPECT_EQ(r.err, "") << "nothing on standard error";
            EXPECT_EQ(run("ls -A", folder).out, "") << tool << " " << flag << " wrote files";
            std::remove(folder.c_str());
        }
    }
}

} // namespace
