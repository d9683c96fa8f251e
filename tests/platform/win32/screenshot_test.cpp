// Both dialogs shown live on a display of their own (an Xvfb server started
// here), read back from the X server and compared with what the layer
// painted. With RIZA3V_TEST_PNG_DIR set, the screenshots are kept as PNGs.
#include "app/core/errordialog.h"
#include "dx/dxbase.h"
#include "errors/errors.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "platform/win32/userstate.h"
#include "platform/win32/windowhost.h"
#include "resources/dialogs/dialogs.h"
#include "tests/platform/win32/showsetup.h"
#include "tests/support/png.h"

#include <SDL.h>
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace {

// An Xvfb server of the test's own. With -displayfd the server picks a free
// display number itself and writes it to the pipe once it takes connections
// (at most 10 s are waited for). -noreset keeps the server from resetting (and
// refusing connections for a moment) when a client closes.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int ends[2];
        if (pipe(ends) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            // The server goes with the test process, however that ends.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const std::string fd = std::to_string(ends[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ends[1]);
        pollfd ready{ends[0], POLLIN, 0};
        char number[16] = {};
        if (pid_ > 0 && poll(&ready, 1, 10000) == 1 && read(ends[0], number, sizeof number - 1) > 0) {
            name_ = ":" + std::to_string(std::atoi(number));
        }
        close(ends[0]);
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// The pixels the X server shows in a screen rectangle.
platform::win32::Picture grab(Display* display, const RECT& r) {
    platform::win32::Picture p;
    XImage* image =
        XGetImage(display, DefaultRootWindow(display), r.left, r.top, static_cast<unsigned>(r.right - r.left),
                  static_cast<unsigned>(r.bottom - r.top), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return p;
    }
    p.width = image->width;
    p.height = image->height;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            p.pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        }
    }
    XDestroyImage(image);
    return p;
}

// Waits until the server shows what the layer painted (the window may take a
// moment to map), then keeps the screenshot.
void screenshot(HWND dialog, const std::string& name, platform::win32::Picture& shown,
                platform::win32::Picture& painted) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    RECT r{};
    GetWindowRect(dialog, &r);
    ASSERT_TRUE(platform::win32::paintDialog(dialog, painted));
    for (int attempt = 0; attempt < 100; ++attempt) {
        UpdateWindow(dialog);
        XSync(display, False);
        shown = grab(display, r);
        if (shown.pixels == painted.pixels) {
            break;
        }
        SDL_Delay(20);
        SDL_PumpEvents();
    }
    XCloseDisplay(display);
    tests::support::keepPicture(name, static_cast<std::uint32_t>(shown.width), static_cast<std::uint32_t>(shown.height),
                                shown.pixels.data());
}

// A press and a release through SDL's event queue, the live path: of `key`,
// or with key 0 of the left button 5 pixels into the control `controlId`.
void pushPress(HWND dialog, SDL_Keycode key, int controlId = 0) {
    SDL_Window* window = platform::win32::sdlWindowFor(dialog);
    ASSERT_NE(window, nullptr);
    RECT frame{};
    RECT control{};
    GetWindowRect(dialog, &frame);
    GetWindowRect(GetDlgItem(dialog, controlId), &control);
    for (bool down : {true, false}) {
        SDL_Event e{};
        if (key != 0) {
            e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.windowID = SDL_GetWindowID(window);
            e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
            e.key.keysym.sym = key;
        } else {
            e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            e.button.windowID = SDL_GetWindowID(window);
            e.button.button = SDL_BUTTON_LEFT;
            e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
            e.button.x = control.left - frame.left + 5;
            e.button.y = (control.top + control.bottom) / 2 - frame.top;
        }
        SDL_PushEvent(&e);
    }
}

class Screenshots : public ::testing::Test {
  protected:
    // One server for the whole run: the video system, once open, stays
    // connected to it until the process ends.
    static void SetUpTestSuite() { display_ = new VirtualDisplay; }
    static void TearDownTestSuite() {
        delete display_;
        display_ = nullptr;
    }

    void SetUp() override {
        if (display_->name().empty()) {
            GTEST_SKIP() << "Xvfb could not be started";
        }
        setenv("DISPLAY", display_->name().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        platform::kernel::setRunMode(platform::kernel::RunMode::live);
        ASSERT_TRUE(platform::win32::displayAvailable());
        resources::installDialogResources();
        platform::win32::script::clear();
        platform::win32::test::showsetup::prepare();
    }
    static VirtualDisplay* display_;
};

VirtualDisplay* Screenshots::display_ = nullptr;

TEST_F(Screenshots, ErrorDialog) {
    qtv_d3d::exception failure("auto throw(d3d)", "dxbase", 263);
    static_cast<void>(failure);
    platform::win32::Picture shown;
    platform::win32::Picture painted;
    char fileText[32] = {};
    platform::win32::script::call([&](HWND dialog) {
        GetDlgItemTextA(dialog, resources::kErrorFileEdit, fileText, sizeof fileText);
        screenshot(dialog, "error_dialog", shown, painted);
        pushPress(dialog, SDLK_ESCAPE); // through the live event path
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kErrorDialogResource), nullptr,
                              app::core::errorDialogProc, 0),
              1);
    EXPECT_STREQ(fileText, "dxbase");
    EXPECT_GT(shown.width, 400);
    EXPECT_EQ(shown.width, painted.width);
    EXPECT_TRUE(shown.pixels == painted.pixels) << "the screen does not show what was painted";
}

TEST_F(Screenshots, SetupDialog) {
    platform::win32::Picture shown;
    platform::win32::Picture painted;
    namespace script = platform::win32::script;
    script::chooseRow(resources::kAdapterList, 0);
    script::chooseRowText(resources::kResolutionList, "800x600");
    script::chooseRowText(resources::kRefreshRateList, "100 Hz");
    script::call([&](HWND dialog) {
        // A mouse click on the check box, through the live event path.
        pushPress(dialog, 0, resources::kFullscreenCheckBox);
        platform::win32::user::pumpEvents();
        screenshot(dialog, "setup_dialog", shown, painted);
        pushPress(dialog, SDLK_RETURN); // the default button, enabled by now
    });
    EXPECT_EQ(platform::win32::test::showsetup::run(), -1);
    EXPECT_EQ(platform::win32::test::showsetup::okPresses(), 1);
    // The show opened the chosen mode full screen.
    ASSERT_NE(theDevice, nullptr);
    const D3DPRESENT_PARAMETERS& opened = platform::win32::test::showsetup::direct3D().lastParameters;
    EXPECT_EQ(
        std::tuple(opened.BackBufferWidth, opened.BackBufferHeight, opened.Windowed, opened.FullScreen_RefreshRateInHz),
        std::tuple(800u, 600u, FALSE, 100u));
    EXPECT_GT(shown.width, 400);
    EXPECT_TRUE(shown.pixels == painted.pixels) << "the screen does not show what was painted";
}

} // namespace
