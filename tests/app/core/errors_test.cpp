#include "app/core/errordialog.h"
#include "errors/errors.h"

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ErrorRecord, NullTextsBecomeUnknown) {
    try {
        throw qtv_d3d::exception(nullptr, nullptr, 0);
    } catch (qtv_d3d::exception&) {
    }
    const std::string record = "File: unknown file\nLine: 0\nMessage: unknown error\n";
    EXPECT_EQ(errors::errorRecordText(), record);
    EXPECT_EQ(tests::support::stderrOf(showDialog), record);
}

TEST(ErrorRecord, LastConstructedExceptionWins) {
    qtv_d3d::exception first("auto throw(d3d)", "dxbase", 263);
    qtv_d3d::exception second("auto throw(logic)", "dxvertexbuffer", 77);
    static_cast<void>(first);
    static_cast<void>(second);
    EXPECT_EQ(errors::errorRecordText(), "File: dxvertexbuffer\nLine: 77\nMessage: auto throw(logic)\n");
}

TEST(ErrorRecord, OverlongTextsAreCutToTheBuffer) {
    const std::string longText(5000, 'x');
    qtv_d3d::exception e(longText.c_str(), longText.c_str(), -5);
    static_cast<void>(e);
    const std::string cut(1023, 'x');
    EXPECT_EQ(errors::errorRecordText(), "File: " + cut + "\nLine: -5\nMessage: " + cut + "\n");
}

TEST(Raise, CheckD3dRaisesOnlyOnNonZero) {
    EXPECT_NO_THROW(errors::checkD3d(0, "dxdevice", 442));
    EXPECT_THROW(errors::checkD3d(1, "dxdevice", 442), qtv_d3d::exception); // S_FALSE counts as failure
    EXPECT_STREQ(errorRecord.message, "auto throw(d3d)");
    EXPECT_THROW(errors::checkD3d(-2147467259, "dxdevice", 456), qtv_d3d::exception);
    EXPECT_EQ(errorRecord.line, 456);
}

} // namespace
