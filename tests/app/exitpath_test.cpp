// Runs the entry point as a real process and checks how each way out ends.
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tests::support::Outcome;

// Runs `command` with its standard error merged into `out`.
Outcome run(const std::string& command) {
    return tests::support::runShell(command + " 2>&1");
}

Outcome probe(const std::string& mode, const std::string& args = "") {
    return run("RIZA3V_PROBE=" + mode + " '" + tests::support::buildPath(EXITPATH_PROBE) + "' " + args);
}

const char* const kUnknownRecord = "unknown exception catched\n"
                                   "d3d exception catched\n"
                                   "File: dxmain\n"
                                   "Line: 44\n"
                                   "Message: Couldve been anything..\n";

TEST(ExitPaths, QuitEndsWithItsCodeAndNoDialog) {
    const Outcome o = probe("quit");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "entering main\nwords 1 []\nquit exception catched\n");
}

TEST(ExitPaths, FailureShowsTheRecord) {
    const Outcome o = probe("d3d");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "entering main\nwords 1 []\nd3d exception catched\n"
                     "File: dxbase\nLine: 263\nMessage: auto throw(d3d)\n");
}

TEST(ExitPaths, UnexpectedExceptionsBecomeTheEntryPointsFailure) {
    for (const char* mode : {"std", "int"}) {
        const Outcome o = probe(mode);
        EXPECT_EQ(o.status, 1) << mode;
        EXPECT_EQ(o.out, std::string("entering main\nwords 1 []\n") + kUnknownRecord) << mode;
    }
}

TEST(ExitPaths, ProcessorFaultsEndWithStatusOneAndTheSameRecord) {
    for (const char* mode : {"segv", "fpe"}) {
        const Outcome o = probe(mode);
        EXPECT_EQ(o.status, 1) << mode;
        EXPECT_EQ(o.out, std::string("entering main\nwords 1 []\n") + kUnknownRecord) << mode;
    }
}

TEST(ExitPaths, ReturningFromTheShowLogsLeavingMain) {
    const Outcome o = probe("return");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "entering main\nwords 1 []\nleaving main\n");
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
    EXPECT_EQ(plain.status, withWords.status);
    EXPECT_EQ(plain.out, withWords.out);
    EXPECT_EQ(plain.out.rfind("entering main\n", 0), 0u) << plain.out;
}

} // namespace
