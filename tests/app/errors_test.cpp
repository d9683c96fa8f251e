#include "app/core/errors.h"
#include "platform/win32/kernel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string captureLog(void (*body)()) {
    ::testing::internal::CaptureStderr();
    body();
    return ::testing::internal::GetCapturedStderr();
}

TEST(ErrorRecord, NullTextsBecomeUnknown) {
    try {
        throw qtv_d3d::exception(nullptr, nullptr, 0);
    } catch (qtv_d3d::exception&) {
    }
    EXPECT_STREQ(errorRecord.message, "unknown error");
    EXPECT_STREQ(errorRecord.file, "unknown file");
    EXPECT_EQ(errorRecord.line, 0);
    EXPECT_EQ(captureLog(showDialog), "File: unknown file\nLine: 0\nMessage: unknown error\n");
}

TEST(ErrorRecord, LastConstructedExceptionWins) {
    qtv_d3d::exception first("auto throw(d3d)", "dxbase", 263);
    qtv_d3d::exception second("auto throw(logic)", "dxvertexbuffer", 77);
    static_cast<void>(first);
    static_cast<void>(second);
    EXPECT_STREQ(errorRecord.message, "auto throw(logic)");
    EXPECT_STREQ(errorRecord.file, "dxvertexbuffer");
    EXPECT_EQ(errorRecord.line, 77);
}

TEST(ErrorRecord, OverlongTextsAreCutToTheBuffer) {
    const std::string longText(5000, 'x');
    qtv_d3d::exception e(longText.c_str(), longText.c_str(), -5);
    static_cast<void>(e);
    EXPECT_EQ(std::string(errorRecord.message), std::string(1023, 'x'));
    EXPECT_EQ(std::string(errorRecord.file), std::string(1023, 'x'));
    EXPECT_EQ(errorRecord.line, -5);
}

TEST(Raise, CheckD3dRaisesOnlyOnNonZero) {
    EXPECT_NO_THROW(checkD3d(0, "dxdevice", 442));
    EXPECT_THROW(checkD3d(1, "dxdevice", 442), qtv_d3d::exception); // S_FALSE counts as failure
    EXPECT_STREQ(errorRecord.message, "auto throw(d3d)");
    EXPECT_THROW(checkD3d(-2147467259, "dxdevice", 456), qtv_d3d::exception);
    EXPECT_EQ(errorRecord.line, 456);
}

TEST(Log, PrintfLinesAndCutting) {
    EXPECT_EQ(captureLog([] { logPrintf("part = %d", 4); }), "part = 4\n");
    const std::string out = captureLog([] { logPrintf("%s", std::string(3000, 'a').c_str()); });
    EXPECT_EQ(out, std::string(kLogBufferSize - 1, 'a') + "\n");
}

TEST(Log, LastErrorTextPassesPercentSignsUnchanged) {
    const std::string out = captureLog([] {
        SetLastError(ERROR_INVALID_PARAMETER);
        logLastError("From showDialog 100%s %d");
    });
    EXPECT_EQ(out, "From showDialog 100%s %d\nThe parameter is incorrect.\r\n\n");
    const std::string unknown = captureLog([] {
        SetLastError(0xBEEF);
        logLastError(nullptr);
    });
    EXPECT_EQ(unknown, "error 48879 (no message text)\n");
}

TEST(Log, Vector3WithAndWithoutTitle) {
    EXPECT_EQ(captureLog([] { logVector3({1.0f, -0.5f, 2.25f}, nullptr); }), "[1.000000] [-0.500000] [2.250000]\n");
    EXPECT_EQ(captureLog([] { logVector3({0.0f, 0.0f, 0.0f}, "eye"); }), "eye\n[0.000000] [0.000000] [0.000000]\n");
}

} // namespace
