#include "platform/kernel/kernel.h"
#include "platform/kernel/refusal.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/userstate.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <strings.h>

namespace platform::win32::user {

namespace {

struct WindowClass {
    std::string name;
    WNDPROC procedure = nullptr;
    HICON icon = nullptr;
};

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

std::map<std::string, WindowClass, CaseLess> classes;
std::map<UINT_PTR, std::unique_ptr<Window>> windows;
UINT_PTR nextHandle = 0x100;
HWND focus = nullptr;
int cursorCount = 0;
POINT cursorPos{0, 0};

// Handles are small even integers; the desktop has one of its own.
constexpr UINT_PTR kDesktop = 0x10;

UINT_PTR key(HWND handle) {
    return reinterpret_cast<UINT_PTR>(handle);
}

} // namespace

void refuse(const char* call, const char* why, DWORD error) {
    kernel::logRefusal("user", "%s refused: %s", call, why);
    SetLastError(error);
}

Window* find(HWND handle) {
    auto it = windows.find(key(handle));
    return it == windows.end() ? nullptr : it->second.get();
}

Window* findControl(HWND dialog, int id) {
    Window* d = find(dialog);
    if (d == nullptr || !d->dialog) {
        return nullptr;
    }
    for (HWND c : d->dialog->controls) {
        Window* w = find(c);
        if (w != nullptr && w->id == id) {
            return w;
        }
    }
    return nullptr;
}

HWND addWindow(std::unique_ptr<Window> window) {
    const UINT_PTR handle = nextHandle;
    nextHandle += 2;
    window->handle = reinterpret_cast<HWND>(handle);
    HWND h = window->handle;
    windows[handle] = std::move(window);
    return h;
}

void removeWindow(HWND handle) {
    auto it = windows.find(key(handle));
    if (it == windows.end()) {
        return;
    }
    std::unique_ptr<Window> w = std::move(it->second);
    windows.erase(it);
    if (w->sdl != nullptr) {
        sdlDestroy(w->sdl);
    }
    if (w->dialog) {
        for (HWND c : w->dialog->controls) {
            windows.erase(key(c));
        }
    }
    if (focus == handle) {
        focus = nullptr;
    }
}

HWND focusWindow() {
    if (find(focus) != nullptr) {
        return focus;
    }
    // The last top-level window made, when none was shown.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (it->second->parent == nullptr || key(it->second->parent) == kDesktop) {
            if (it->second->kind == ControlKind::none && !it->second->dialog) {
                return it->second->handle;
            }
        }
    }
    return nullptr;
}

void setFocusWindow(HWND handle) {
    focus = handle;
}

HWND windowForSdl(const SDL_Window* window) {
    for (const auto& entry : windows) {
        if (window != nullptr && entry.second->sdl == window) {
            return entry.second->handle;
        }
    }
    return nullptr;
}

} // namespace platform::win32::user

using namespace platform::win32::user;

namespace platform::win32 {

bool displayAvailable() {
    return kernel::runMode() == kernel::RunMode::live && sdlReady();
}

} // namespace platform::win32

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
    if (wc == nullptr || (wc->cbSize != sizeof(WNDCLASSEXA) && wc->cbSize != kWndClassExSize32) ||
        wc->lpfnWndProc == nullptr || wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
        wc->cbClsExtra != 0 || wc->cbWndExtra != 0) {
        refuse("RegisterClassExA", "size, procedure, name or extra bytes", ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (classes.count(wc->lpszClassName) != 0) {
        refuse("RegisterClassExA", "class already registered", ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass c;
    c.name = wc->lpszClassName;
    c.procedure = wc->lpfnWndProc;
    c.icon = wc->hIcon;
    classes[c.name] = c;
    return static_cast<ATOM>(0xC000 + classes.size());
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    if (className == nullptr || IS_INTRESOURCE(className) || classes.count(className) == 0) {
        refuse("CreateWindowExA", "unknown window class", ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parent != nullptr && parent != GetDesktopWindow()) {
        refuse("CreateWindowExA", "only top-level windows (parent null or the desktop)", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const WindowClass& c = classes[className];
    auto w = std::make_unique<Window>();
    w->className = c.name;
    w->procedure = c.procedure;
    w->parent = parent;
    w->style = style;
    w->exStyle = exStyle;
    w->rect = RECT{x, y, x + std::max(width, 1), y + std::max(height, 1)};
    w->text = windowName != nullptr ? windowName : "";
    w->icon = c.icon;
    if (platform::win32::displayAvailable()) {
        w->sdl = sdlCreate(w->text.c_str(), x, y, std::max(width, 1), std::max(height, 1), true);
        if (w->sdl != nullptr && c.icon != nullptr) {
            sdlSetIcon(w->sdl, reinterpret_cast<const IconImage*>(c.icon));
        }
    }
    HWND handle = addWindow(std::move(w));
    SendMessageA(handle, WM_CREATE, 0, 0);
    if (find(handle) != nullptr && (style & WS_VISIBLE) != 0) {
        ShowWindow(handle, SW_SHOW);
    }
    return find(handle) != nullptr ? handle : nullptr;
}

BOOL DestroyWindow(HWND handle) {
    Window* w = find(handle);
    if (w == nullptr || w->kind != ControlKind::none) {
        refuse("DestroyWindow", "not a top-level window", ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->dialog) {
        refuse("DestroyWindow", "modal dialogs end through EndDialog", ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The handle goes even when the procedure throws on WM_DESTROY.
    struct Remove {
        HWND h;
        ~Remove() { removeWindow(h); }
    } remove{handle};
    SendMessageA(handle, WM_DESTROY, 0, 0);
    return TRUE;
}

BOOL IsWindow(HWND handle) {
    return find(handle) != nullptr || key(handle) == 0x10 ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND handle, HWND, int x, int y, int width, int height, UINT flags) {
    Window* w = find(handle);
    if (w == nullptr || w->kind != ControlKind::none) {
        refuse("SetWindowPos", "not a top-level window", ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT r = w->rect;
    if ((flags & SWP_NOMOVE) == 0) {
        r = RECT{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
    }
    if ((flags & SWP_NOSIZE) == 0) {
        if (width <= 0 || height <= 0) {
            refuse("SetWindowPos", "size must be positive", ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        r.right = r.left + width;
        r.bottom = r.top + height;
    }
    w->rect = r;
    if (w->sdl != nullptr) {
        sdlMove(w->sdl, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    if ((flags & SWP_SHOWWINDOW) != 0) {
        ShowWindow(handle, SW_SHOW);
    } else if ((flags & SWP_HIDEWINDOW) != 0) {
        ShowWindow(handle, SW_HIDE);
    }
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
    Window* w = find(handle);
    if (w == nullptr) {
        refuse("ShowWindow", "unknown window", ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const BOOL wasVisible = w->visible ? TRUE : FALSE;
    w->visible = command != SW_HIDE;
    if (w->sdl != nullptr) {
        sdlShow(w->sdl, w->visible);
    }
    if (w->visible && w->kind == ControlKind::none && !w->dialog) {
        setFocusWindow(handle);
    }
    if (w->kind != ControlKind::none) {
        if (Window* d = find(w->parent); d != nullptr && d->dialog) {
            d->dialog->dirty = true;
        }
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND handle) {
    Window* w = find(handle);
    return w != nullptr && w->visible ? TRUE : FALSE;
}

BOOL GetClientRect(HWND handle, RECT* rect) {
    Window* w = find(handle);
    if (w == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->dialog) {
        *rect = RECT{0, 0, w->dialog->clientWidth, w->dialog->clientHeight};
    } else {
        *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    }
    return TRUE;
}

namespace {

// The screen position of a window's client area.
bool clientOrigin(const Window& w, POINT& origin) {
    if (w.dialog) {
        const Dialog& d = *w.dialog;
        origin = POINT{w.rect.left + d.frame + d.edge, w.rect.top + d.frame + d.caption + d.edge};
        return true;
    }
    if (w.kind != ControlKind::none) {
        const Window* parent = find(w.parent);
        if (parent == nullptr || !clientOrigin(*parent, origin)) {
            return false;
        }
        origin.x += w.rect.left;
        origin.y += w.rect.top;
        return true;
    }
    origin = POINT{w.rect.left, w.rect.top};
    return true;
}

} // namespace

BOOL GetWindowRect(HWND handle, RECT* rect) {
    Window* w = find(handle);
    POINT origin{};
    if (w == nullptr || rect == nullptr || !clientOrigin(*w, origin)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->dialog) {
        *rect = RECT{w->rect.left, w->rect.top, w->rect.left + dialogWindowWidth(*w->dialog),
                     w->rect.top + dialogWindowHeight(*w->dialog)};
    } else {
        *rect = RECT{origin.x, origin.y, origin.x + (w->rect.right - w->rect.left),
                     origin.y + (w->rect.bottom - w->rect.top)};
    }
    return TRUE;
}

BOOL ClientToScreen(HWND handle, POINT* point) {
    Window* w = find(handle);
    POINT origin{};
    if (w == nullptr || point == nullptr || !clientOrigin(*w, origin)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text) {
    return SendMessageA(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

int GetWindowTextA(HWND handle, LPSTR buffer, int size) {
    return static_cast<int>(
        SendMessageA(handle, WM_GETTEXT, static_cast<WPARAM>(std::max(size, 0)), reinterpret_cast<LPARAM>(buffer)));
}

BOOL EnableWindow(HWND handle, BOOL enable) {
    Window* w = find(handle);
    if (w == nullptr) {
        refuse("EnableWindow", "unknown window", ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const BOOL wasDisabled = w->enabled ? FALSE : TRUE;
    if (w->enabled == (enable != FALSE)) {
        return wasDisabled;
    }
    w->enabled = enable != FALSE;
    Window* d = w->dialog ? w : find(w->parent);
    if (d != nullptr && d->dialog) {
        d->dialog->dirty = true;
        // A disabled control cannot keep the keyboard focus.
        if (!w->enabled && d->dialog->focus == handle) {
            d->dialog->focus = nullptr;
        }
    }
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND handle) {
    Window* w = find(handle);
    return w != nullptr && w->enabled ? TRUE : FALSE;
}

HWND GetDesktopWindow() {
    return reinterpret_cast<HWND>(0x10);
}

int GetSystemMetrics(int index) {
    int width = 800;
    int height = 600;
    if (platform::win32::displayAvailable()) {
        sdlScreenSize(width, height);
    }
    switch (index) {
    case SM_CXSCREEN:
        return width;
    case SM_CYSCREEN:
        return height;
    default:
        return 0;
    }
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM, LPARAM lParam) {
    Window* w = find(handle);
    if (w == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SETTEXT:
        w->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        return TRUE;
    default:
        return 0;
    }
}

BOOL SetCursorPos(int x, int y) {
    cursorPos = POINT{x, y};
    if (platform::win32::displayAvailable()) {
        sdlWarpMouse(x, y);
    }
    return TRUE;
}

int ShowCursor(BOOL show) {
    cursorCount += show != FALSE ? 1 : -1;
    if (platform::win32::displayAvailable()) {
        sdlShowCursor(cursorCount >= 0);
    }
    return cursorCount;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    static char arrow;
    if (instance == nullptr && IS_INTRESOURCE(name) && reinterpret_cast<UINT_PTR>(name) == IDC_ARROW) {
        return reinterpret_cast<HCURSOR>(&arrow);
    }
    refuse("LoadCursorA", "only the stock arrow", ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (!IS_INTRESOURCE(name)) {
        refuse("LoadIconA", "icons are named by number", ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const WORD id = static_cast<WORD>(reinterpret_cast<UINT_PTR>(name));
    const IconImage* image = nullptr;
    if (instance == nullptr) {
        image = stockIcon(id);
    } else if (instance == GetModuleHandleA(nullptr)) {
        image = platform::win32::findIconResource(id);
    }
    if (image == nullptr) {
        refuse("LoadIconA", "no such icon", ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HICON>(const_cast<IconImage*>(image));
}
