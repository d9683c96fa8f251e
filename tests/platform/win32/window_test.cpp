// Windows, the message queue and the keyboard in virtual mode: the same
// translation that live SDL events go through, fed by the simulate* calls.
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/script.h"
#include "platform/win32/user.h"
#include "platform/win32/userstate.h"
#include "platform/win32/windowhost.h"
#include "resources/dialogs/dialogs.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
};
std::vector<Seen> seen;

struct QuitRequest {
    int code;
};

// A procedure like the show's main window: Escape, close and destroy quit
// by an exception; the rest goes to the default.
LRESULT quittingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({message, wParam});
    if (message == WM_CLOSE || message == WM_DESTROY || (message == WM_KEYDOWN && wParam == VK_ESCAPE)) {
        throw QuitRequest{1};
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({message, wParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

ATOM registerClass(const char* name, WNDPROC proc, UINT size = sizeof(WNDCLASSEXA)) {
    WNDCLASSEXA wc{};
    wc.cbSize = size;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    wc.lpszClassName = name;
    return RegisterClassExA(&wc);
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        seen.clear();
        for (int key = 1; key < 256; ++key) {
            GetAsyncKeyState(key);
        }
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
};

HWND makeWindow(const char* className) {
    return CreateWindowExA(0, className, "RIZA3V", WS_OVERLAPPEDWINDOW, 50, 50, 640, 480, GetDesktopWindow(), nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST_F(Windows, ClassesAndWindowsWithoutADisplay) {
    EXPECT_NE(registerClass("%", quittingProc, kWndClassExSize32), 0); // the 32-bit structure size
    EXPECT_EQ(registerClass("%", quittingProc), 0);                    // already there
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    EXPECT_EQ(registerClass("odd size", quittingProc, 44), 0);
    EXPECT_EQ(makeWindow("no such class"), nullptr);

    HWND window = makeWindow("%");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window)); // hidden until shown
    EXPECT_EQ(platform::win32::sdlWindowFor(window), nullptr);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().message, WM_CREATE);
    EXPECT_TRUE(SetWindowPos(window, nullptr, 0, 0, 800, 600, 0));
    EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL));
    EXPECT_TRUE(ShowWindow(window, SW_SHOWNORMAL));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(800, 600));
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "RIZA3V");
}

TEST_F(Windows, KeysAndCloseBecomeMessagesForTheShownWindow) {
    registerClass("recording", recordingProc);
    HWND window = makeWindow("recording");
    ShowWindow(window, SW_SHOWNORMAL);
    seen.clear();

    platform::win32::simulateKeyDown(VK_ESCAPE);
    platform::win32::simulateKeyUp(VK_ESCAPE);
    platform::win32::simulateKeyDown('A');
    platform::win32::simulateClose(window);

    std::vector<std::pair<UINT, WPARAM>> messages;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        EXPECT_EQ(m.hwnd, window);
        TranslateMessage(&m);
        DispatchMessageA(&m);
        messages.emplace_back(m.message, m.wParam);
    }
    const std::vector<std::pair<UINT, WPARAM>> expected{{WM_KEYDOWN, 27},  {WM_CHAR, 27},  {WM_KEYUP, 27},
                                                        {WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_CLOSE, 0}};
    EXPECT_EQ(messages, expected);
    // The default handling of WM_CLOSE destroys the window, which the
    // procedure sees as WM_DESTROY.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().message, WM_DESTROY);
    EXPECT_FALSE(IsWindow(window));
    platform::win32::simulateKeyUp('A');
}

TEST_F(Windows, FilteredPeekLeavesOtherMessagesQueued) {
    registerClass("filter", recordingProc);
    HWND window = makeWindow("filter");
    PostMessageA(window, WM_KEYDOWN, 'B', 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_CLOSE);
    ASSERT_TRUE(PeekMessageA(&m, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    DestroyWindow(window);
}

TEST_F(Windows, ExceptionsLeaveThroughDispatch) {
    registerClass("quitting", quittingProc);
    HWND window = makeWindow("quitting");
    ShowWindow(window, SW_SHOWNORMAL);
    for (int key : {VK_ESCAPE, 0, VK_SPACE}) { // 0: the window is closed
        if (key == 0) {
            platform::win32::simulateClose(window);
        } else {
            platform::win32::simulateKeyDown(key);
        }
        MSG m;
        ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
        if (key == VK_SPACE) {
            EXPECT_NO_THROW(DispatchMessageA(&m)); // other keys go to the default
        } else {
            try {
                DispatchMessageA(&m);
                ADD_FAILURE() << "no exception for key " << key;
            } catch (const QuitRequest& q) {
                EXPECT_EQ(q.code, 1);
            }
        }
        platform::win32::simulateKeyUp(key == VK_SPACE ? VK_SPACE : VK_ESCAPE);
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // Destruction quits as well, and the handle is gone all the same.
    EXPECT_THROW(DestroyWindow(window), QuitRequest);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Windows, AsyncKeyStateLowBitMeansPressedSinceTheLastPoll) {
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
    platform::win32::simulateKeyDown(VK_SPACE);
    EXPECT_EQ(static_cast<std::uint16_t>(GetAsyncKeyState(VK_SPACE)), 0x8001); // down, and new
    EXPECT_EQ(static_cast<std::uint16_t>(GetAsyncKeyState(VK_SPACE)), 0x8000); // still down, seen
    platform::win32::simulateKeyUp(VK_SPACE);
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
    // A tap between two polls is still reported once.
    platform::win32::simulateKeyDown(VK_SPACE);
    platform::win32::simulateKeyUp(VK_SPACE);
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 1);
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
    // Each key keeps its own bit; live auto-repeat is not a new press.
    platform::win32::user::keyEvent('X', true, false, nullptr);
    platform::win32::user::keyEvent('X', true, true, nullptr);
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
    EXPECT_EQ(static_cast<std::uint16_t>(GetAsyncKeyState('X')), 0x8001);
    platform::win32::user::keyEvent('X', true, true, nullptr);
    EXPECT_EQ(static_cast<std::uint16_t>(GetAsyncKeyState('X')), 0x8000);
    platform::win32::simulateKeyUp('X');
    EXPECT_EQ(GetAsyncKeyState(0), 0);
    EXPECT_EQ(GetAsyncKeyState(300), 0);
}

TEST(KeyCodes, SdlKeysMapToVirtualKeys) {
    const std::pair<int, int> table[] = {
        {SDLK_ESCAPE, 27},   {SDLK_SPACE, 32},   {SDLK_RETURN, 13},     {SDLK_KP_ENTER, 13}, {SDLK_TAB, 9},
        {SDLK_a, 0x41},      {SDLK_z, 0x5A},     {SDLK_0, 0x30},        {SDLK_9, 0x39},      {SDLK_UP, 0x26},
        {SDLK_DOWN, 0x28},   {SDLK_LEFT, 0x25},  {SDLK_RIGHT, 0x27},    {SDLK_F1, 0x70},     {SDLK_F12, 0x7B},
        {SDLK_LSHIFT, 0x10}, {SDLK_RCTRL, 0x11}, {SDLK_PAGEDOWN, 0x22}, {SDLK_CAPSLOCK, 0}};
    for (const auto& [sdl, vk] : table) {
        EXPECT_EQ(platform::win32::user::virtualKeyFromSdl(sdl), vk) << sdl;
    }
}

TEST(Resources, IconsAndCursors) {
    resources::installDialogResources();
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(102)), nullptr);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999)), nullptr);
    EXPECT_NE(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_HAND)), nullptr);
    EXPECT_NE(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_EXCLAMATION)), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW)), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(32513)), nullptr);

    // The generated program icon: 32 × 32, transparent corners, an opaque middle.
    const IconImage* icon = platform::win32::findIconResource(102);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(std::pair(icon->width, icon->height), std::pair(32, 32));
    EXPECT_EQ(std::pair(icon->pixels[0] >> 24, icon->pixels[16 * 32 + 16] >> 24), std::pair(0u, 255u));
}

TEST(Cursor, ShowCursorKeepsACounter) {
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    // The braces call in order, left to right.
    EXPECT_EQ((std::array{ShowCursor(FALSE), ShowCursor(FALSE), ShowCursor(TRUE), ShowCursor(TRUE)}),
              (std::array{-1, -2, -1, 0}));
    EXPECT_TRUE(SetCursorPos(1, 1));
}

} // namespace
