// The error dialog run by the dialog manager in virtual mode: what it shows
// and every way of dismissing it.
#include "app/core/errordialog.h"
#include "errors/errors.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "resources/dialogs/dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

namespace {

class ErrorDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        resources::installDialogResources();
        platform::win32::script::clear();
    }
    static INT_PTR run() {
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kErrorDialogResource), nullptr,
                               app::core::errorDialogProc, 0);
    }
};

std::string text(HWND dialog, int id) {
    char buffer[1100] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

TEST_F(ErrorDialog, ShowsTheRecordOfTheLastException) {
    try {
        throw qtv_d3d::exception(nullptr, nullptr, 0);
    } catch (qtv_d3d::exception&) {
    }
    std::string file, line, message;
    platform::win32::script::call([&](HWND dialog) {
        file = text(dialog, resources::kErrorFileEdit);
        line = text(dialog, resources::kErrorLineEdit);
        message = text(dialog, resources::kErrorMessageEdit);
    });
    platform::win32::script::click(IDOK);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(std::tuple(file, line, message), std::tuple("unknown file", "0", "unknown error"));

    qtv_d3d::exception e("auto throw(logic)", "dxbase", -256);
    static_cast<void>(e);
    platform::win32::script::call([&](HWND dialog) { line = text(dialog, resources::kErrorLineEdit); });
    platform::win32::script::pressKey(VK_RETURN);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(line, "-256");
}

TEST_F(ErrorDialog, EveryWayOfDismissingItEndsWithOne) {
    const std::function<void()> ways[] = {
        [] { platform::win32::script::pressKey(VK_RETURN); },
        [] { platform::win32::script::pressKey(VK_ESCAPE); },
        [] { platform::win32::script::click(IDOK); },
        [] { platform::win32::script::closeFrame(); },
        [] {
            platform::win32::script::pressKey(VK_TAB); // into the edits first: Enter still means OK
            platform::win32::script::pressKey(VK_RETURN);
        },
        [] {}, // nothing scripted: the scripted user presses Escape
    };
    for (const auto& way : ways) {
        platform::win32::script::clear();
        way();
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(platform::win32::script::pending(), 0u);
        EXPECT_EQ(platform::win32::script::failures(), 0);
    }
}

TEST_F(ErrorDialog, ReEnablesItselfSoItCanAlwaysBeDismissed) {
    platform::win32::script::call([](HWND dialog) {
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        EnableWindow(dialog, FALSE);
    });
    platform::win32::script::click(IDOK);
    platform::win32::script::call([](HWND) { ADD_FAILURE() << "the click did not end the dialog"; });
    EXPECT_EQ(run(), 1);
    platform::win32::script::clear();
}

TEST_F(ErrorDialog, ShowDialogInAVirtualRunWritesTheRecordAndDismissesIt) {
    qtv_d3d::exception e("auto throw(d3d)", "dxtexture", 31);
    static_cast<void>(e);
    ::testing::internal::CaptureStderr();
    showDialog();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("File: dxtexture\nLine: 31\nMessage: auto throw(d3d)\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("From showDialog"), std::string::npos) << err; // the dialog itself worked
}

} // namespace
