// Windows user-interface services: window class and window, the message
// queue, keys, cursor and icons, with the names, arguments and results of the
// platform calls.
//
// Live mode: each top-level window is an SDL window made with OpenGL support
// and kept hidden until ShowWindow; keyboard and frame events of SDL become
// the messages below. Virtual mode: windows exist only as handles, nothing is
// shown, and input comes from the simulate* calls of script.h; every call
// behaves the same otherwise.
//
// All calls belong to the main thread. A call outside the subset described
// here sets the last error, logs a line and returns the platform's failure.
#pragma once

#include "platform/kernel/windef.h"

// Window messages (values from the platform's winuser.h).
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;

// Virtual-key codes.
inline constexpr int VK_BACK = 0x08;
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_SHIFT = 0x10;
inline constexpr int VK_CONTROL = 0x11;
inline constexpr int VK_MENU = 0x12;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_PRIOR = 0x21;
inline constexpr int VK_NEXT = 0x22;
inline constexpr int VK_END = 0x23;
inline constexpr int VK_HOME = 0x24;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_DELETE = 0x2E;
inline constexpr int VK_F1 = 0x70;
inline constexpr int VK_F12 = 0x7B;
// Digits and letters are their ASCII upper-case codes ('0'..'9', 'A'..'Z').

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_DLGFRAME = 0x00400000;
inline constexpr DWORD WS_VSCROLL = 0x00200000;
inline constexpr DWORD WS_HSCROLL = 0x00100000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
inline constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
inline constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;

// Class styles.
inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;
inline constexpr UINT CS_OWNDC = 0x0020;
inline constexpr UINT CS_CLASSDC = 0x0040;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_SHOWDEFAULT = 10;

// SetWindowPos flags.
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_SHOWWINDOW = 0x0040;
inline constexpr UINT SWP_HIDEWINDOW = 0x0080;

// PeekMessageA removal options.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// GetSystemMetrics indices.
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;

// Stock cursor and icon resource numbers (pass through MAKEINTRESOURCEA).
inline constexpr WORD IDC_ARROW = 32512;
inline constexpr WORD IDI_APPLICATION = 32512;
inline constexpr WORD IDI_HAND = 32513;
inline constexpr WORD IDI_QUESTION = 32514;
inline constexpr WORD IDI_EXCLAMATION = 32515;
inline constexpr WORD IDI_ASTERISK = 32516;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

// The structure's size on the 32-bit platform the show was written for;
// RegisterClassExA takes it as well as sizeof(WNDCLASSEXA).
inline constexpr UINT kWndClassExSize32 = 48;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// Registers a class by name. Fails (returns 0) for a name already registered,
// a null procedure or name, a size other than the two accepted, or extra bytes.
ATOM RegisterClassExA(const WNDCLASSEXA* windowClass);

// Makes a window of a registered class; it stays hidden until ShowWindow (or
// WS_VISIBLE in style). Sends WM_CREATE to the class procedure. In live mode a
// top-level window gets an SDL window (OpenGL-capable) of width × height at
// (x, y); platform::win32::sdlWindowFor finds it. Returns null for an unknown class.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
// Sends WM_DESTROY, then frees the handle (and the SDL window).
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

// Moves and sizes the window (client area = the given size, as the show
// treats it); SWP_NOMOVE / SWP_NOSIZE keep the old values; insertAfter is ignored.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
// SW_HIDE hides, every other command shows. Returns whether it was visible.
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
BOOL GetClientRect(HWND window, RECT* rect);
// Screen rectangle of the whole window (a dialog control: its own rectangle).
BOOL GetWindowRect(HWND window, RECT* rect);
// Client coordinates of the window to screen coordinates.
BOOL ClientToScreen(HWND window, POINT* point);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int size);
// Enables or disables input to a window or a dialog control; returns whether
// it was disabled before, as the platform does.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
// Repaints the window now if anything in it changed (dialogs only draw).
BOOL UpdateWindow(HWND window);

// A handle that stands for the whole screen; valid as a parent.
HWND GetDesktopWindow();
// The primary display's size (800 × 600 in virtual mode or without a display).
int GetSystemMetrics(int index);

// Default handling: WM_CLOSE destroys the window; everything else returns 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Takes the next message for the window (null: any window of this thread)
// whose number lies in [filterMin, filterMax] (0, 0: all). Live events from
// SDL are read first. Returns FALSE when none is waiting.
BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeOption);
// Posts WM_CHAR after a WM_KEYDOWN of a key that types a character.
BOOL TranslateMessage(const MSG* message);
// Calls the window procedure of message->hwnd and returns its result. An
// exception thrown by the procedure leaves through this call to its caller.
LRESULT DispatchMessageA(const MSG* message);
// Calls the window's procedure at once (a dialog control answers itself).
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT with the exit code as wParam.
void PostQuitMessage(int exitCode);

// Bit 15: the key is down now. Bit 0: it went down since the previous
// GetAsyncKeyState call for the same key (the first call after a press sees it).
SHORT GetAsyncKeyState(int virtualKey);

// Moves the mouse pointer in screen coordinates (live mode with a display only;
// elsewhere it only records the position and succeeds).
BOOL SetCursorPos(int x, int y);
// Display counter as the platform keeps it: the pointer shows while it is >= 0.
int ShowCursor(BOOL show);
// Stock cursors only (instance null, IDC_ARROW).
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
// Icon resources of the program (instance = GetModuleHandleA(NULL)) registered
// through resource.h, or stock icons (instance null, IDI_*).
HICON LoadIconA(HINSTANCE instance, LPCSTR name);

namespace platform::win32 {

// True in live mode once SDL's video system has opened (a display exists);
// false in virtual mode. Opens the video system on first use.
bool displayAvailable();

} // namespace platform::win32
