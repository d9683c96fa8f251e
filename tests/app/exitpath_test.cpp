// Runs the entry point as a real process and checks how each way out ends.
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using tests::support::Outcome;

// Runs `command` with its standard error merged into `out`.
Outcome run(const std::string& command) {
    return tests::support::runShell(command + " 2>&1");
}

Outcome probe(const std::string& mode, const std::string& args = "") {
    return run("RIZA3V_PROBE=" + mode + " '" + tests::support::buildPath(EXITPATH_PROBE) + "' " + args);
}

// Every way out ends with status 1; the log says which it was. Exceptions of
// other types and processor faults all give the entry point's own record.
TEST(ExitPaths, EachWayOutEndsWithStatusOneAndItsLog) {
    const std::string unknownRecord = "unknown exception catched\nd3d exception catched\nFile: dxmain\nLine: 44\n"
                                      "Message: Couldve been anything..\n";
    const std::pair<const char*, std::string> cases[] = {
        {"quit", "quit exception catched\n"},
        {"d3d", "d3d exception catched\nFile: dxbase\nLine: 263\nMessage: auto throw(d3d)\n"},
        {"return", "leaving main\n"},
        {"std", unknownRecord},
        {"int", unknownRecord},
        {"segv", unknownRecord},
        {"fpe", unknownRecord},
    };
    for (const auto& [mode, log] : cases) {
        const Outcome o = probe(mode);
        EXPECT_EQ(std::pair(o.status, o.out), std::pair(1, "entering main\nwords 1 []\n" + log)) << mode;
    }
}

TEST(EntryPoint, WordCountIsBlanksPlusOneAndTheTailIsCopied) {
    const Outcome o = probe("quit", "-w --fast x");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("words 3 [-w --fast x]\n"), std::string::npos) << o.out;
}

TEST(EntryPoint, ShowIgnoresItsCommandLine) {
    // Without a display the setup dialog cannot open, so the show ends at once
    // through its failure path; the time limit only guards a regression.
    const std::string show =
        "env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 '" + tests::support::buildPath(RIZA3V_BINARY) + "'";
    const Outcome plain = run(show);
    const Outcome withWords = run(show + " -fullscreen --help x");
    EXPECT_EQ(plain.status, 1) << plain.out;
    EXPECT_EQ(std::pair(plain.status, plain.out), std::pair(withWords.status, withWords.out));
    EXPECT_EQ(plain.out.rfind("entering main\n", 0), 0u) << plain.out;
}

} // namespace
