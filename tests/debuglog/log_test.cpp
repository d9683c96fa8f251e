#include "debuglog/log.h"
#include "platform/kernel/kernel.h"

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Log, PrintfLinesAndCutting) {
    EXPECT_EQ(tests::support::stderrOf([] { logPrintf("part = %d", 4); }), "part = 4\n");
    const std::string out = tests::support::stderrOf([] { logPrintf("%s", std::string(3000, 'a').c_str()); });
    EXPECT_EQ(out, std::string(debuglog::kLogBufferSize - 1, 'a') + "\n");
}

TEST(Log, LastErrorTextPassesPercentSignsUnchanged) {
    const std::string out = tests::support::stderrOf([] {
        SetLastError(ERROR_INVALID_PARAMETER);
        logLastError("From showDialog 100%s %d");
    });
    EXPECT_EQ(out, "From showDialog 100%s %d\nThe parameter is incorrect.\r\n\n");
    const std::string unknown = tests::support::stderrOf([] {
        SetLastError(0xBEEF);
        logLastError(nullptr);
    });
    EXPECT_EQ(unknown, "error 48879 (no message text)\n");
}

} // namespace
