// The thread's message queue, message delivery and the keyboard state.
// Only the main thread uses them.
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/userstate.h"

#include <array>
#include <deque>

using namespace platform::win32::user;

namespace {

std::deque<MSG> queue;

struct KeyState {
    bool down = false;
    bool pressedSincePoll = false;
};
std::array<KeyState, 256> keys;

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    queue.push_back(m);
}

bool matches(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && m.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return m.message >= filterMin && m.message <= filterMax;
}

// The character a key types, or 0: letters (lower case unless Shift is
// down), digits, and the keys that type control characters.
char typedCharacter(int vk) {
    if (vk >= 'A' && vk <= 'Z') {
        return static_cast<char>(keys[VK_SHIFT].down ? vk : vk - 'A' + 'a');
    }
    if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB ||
        vk == VK_BACK) {
        return static_cast<char>(vk);
    }
    return 0;
}

} // namespace

namespace platform::win32::user {

void keyEvent(int vk, bool down, bool repeat, HWND target) {
    if (vk <= 0 || vk > 255) {
        return;
    }
    KeyState& k = keys[static_cast<std::size_t>(vk)];
    k.down = down;
    // Auto-repeat does not count as a new press.
    if (down && !repeat) {
        k.pressedSincePoll = true;
    }
    if (target == nullptr) {
        target = focusWindow();
    }
    Window* w = find(target);
    if (w == nullptr) {
        return;
    }
    if (w->dialog) {
        if (down) {
            dialogKey(target, vk, keys[VK_SHIFT].down);
        }
        return;
    }
    // Key data as the platform packs it: repeat count 1, bit 30 the previous
    // state, bit 31 set on release.
    LPARAM data = 1;
    if (repeat || !down) {
        data |= LPARAM{1} << 30;
    }
    if (!down) {
        data |= LPARAM{1} << 31;
    }
    post(target, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), data);
}

} // namespace platform::win32::user

namespace platform::win32 {

void simulateKeyDown(int virtualKey) {
    keyEvent(virtualKey, true, false, nullptr);
}
void simulateKeyUp(int virtualKey) {
    keyEvent(virtualKey, false, false, nullptr);
}

void simulateClose(HWND window) {
    Window* w = find(window);
    if (w == nullptr) {
        return;
    }
    if (w->dialog) {
        dialogClose(window);
    } else if (w->kind == ControlKind::none) {
        post(window, WM_CLOSE, 0, 0);
    }
}

} // namespace platform::win32

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeOption) {
    if (message == nullptr || (removeOption & ~PM_REMOVE) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (platform::win32::displayAvailable()) {
        pumpEvents();
    }
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (matches(*it, window, filterMin, filterMax)) {
            *message = *it;
            if ((removeOption & PM_REMOVE) != 0) {
                queue.erase(it);
            }
            return TRUE;
        }
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* message) {
    if (message == nullptr || message->message != WM_KEYDOWN) {
        return FALSE;
    }
    const char c = typedCharacter(static_cast<int>(message->wParam));
    if (c == 0) {
        return FALSE;
    }
    // Posted messages come before input still waiting, so the character
    // follows its key press directly, as on the platform.
    MSG m{};
    m.hwnd = message->hwnd;
    m.message = WM_CHAR;
    m.wParam = static_cast<WPARAM>(static_cast<unsigned char>(c));
    m.lParam = message->lParam;
    m.time = GetTickCount();
    queue.push_front(m);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* message) {
    if (message == nullptr || message->hwnd == nullptr) {
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = find(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->dialog) {
        return dialogMessage(*w, message, wParam, lParam);
    }
    if (w->kind != ControlKind::none) {
        return controlMessage(*w, message, wParam, lParam);
    }
    if (message == WM_GETTEXT || message == WM_GETTEXTLENGTH) {
        return controlMessage(*w, message, wParam, lParam);
    }
    return w->procedure(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && find(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    post(window, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    post(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey <= 0 || virtualKey > 255) {
        return 0;
    }
    if (platform::win32::displayAvailable()) {
        pumpEvents();
    }
    KeyState& k = keys[static_cast<std::size_t>(virtualKey)];
    unsigned result = (k.down ? 0x8000u : 0u) | (k.pressedSincePoll ? 1u : 0u);
    k.pressedSincePoll = false;
    return static_cast<SHORT>(static_cast<std::uint16_t>(result));
}
