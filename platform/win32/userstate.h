// Internal to the user-interface layer: the window table, the parts of a
// dialog and its controls, and the hooks between window, message, dialog and
// SDL code.
//
// Ownership: every window (top-level, dialog, control) is owned by the table
// and named by a small-integer handle that is never reused, so a stale handle
// fails lookups instead of reaching a freed object. A dialog owns its
// controls: they go with it.
#pragma once

#include "platform/win32/dialog.h"
#include "platform/win32/resource.h"
#include "platform/win32/script.h"
#include "platform/win32/user.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SDL_Window;

namespace platform::win32::user {

// An action of the scripted user (script.h), as script.cpp queues it.
struct ScriptAction {
    enum class Kind { chooseRow, chooseRowText, click, key, close, call };
    explicit ScriptAction(Kind k) : kind(k) {}
    Kind kind;
    int controlId = 0;
    int row = 0;
    std::string text;
    int vk = 0;
    bool shift = false;
    std::function<void(HWND)> code;
};
// Logs "user: <call> refused: <why>" and sets the last error to `error`.
void refuse(const char* call, const char* why, DWORD error);

// Takes the oldest queued action into `action`; false when none is queued.
bool nextScriptAction(ScriptAction& action);
// Logs an action that found no control or row, and counts it in failures().
void scriptFailed(const char* what, int id);

enum class ControlKind { none, pushButton, checkBox, staticText, staticIcon, edit, listBox };

struct Dialog;

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC procedure = nullptr;
    HWND parent = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{}; // top-level: screen position and client size; control: in the dialog's client area
    bool visible = false;
    bool enabled = true;
    std::string text;
    HICON icon = nullptr;
    SDL_Window* sdl = nullptr;

    std::unique_ptr<Dialog> dialog; // set on a dialog

    // Controls.
    ControlKind kind = ControlKind::none;
    int id = 0;
    bool checked = false;
    bool pressed = false; // a mouse button is held on it
    std::vector<std::string> rows;
    int selected = -1;
    int topRow = 0;
    int editScroll = 0; // first character shown of an edit
    int editCaret = 0;
    const IconImage* iconImage = nullptr;
};

struct Dialog {
    DLGPROC procedure = nullptr;
    const DialogTemplate* source = nullptr;
    std::vector<HWND> controls; // in template order (the tab order)
    HWND focus = nullptr;
    HFONT font = nullptr;
    HFONT captionFont = nullptr;
    int baseX = 0; // dialog base units in pixels
    int baseY = 0;
    int lineHeight = 0;
    bool ended = false;
    INT_PTR result = 0;
    bool dirty = true;
    int frame = 0;   // frame thickness in pixels, each side
    int caption = 0; // caption bar height in pixels
    int edge = 0;    // client edge thickness
    int clientWidth = 0;
    int clientHeight = 0;
};

// The window table.
Window* find(HWND handle);
Window* findControl(HWND dialog, int id);
HWND addWindow(std::unique_ptr<Window> window);
void removeWindow(HWND handle);
// The window that keyboard input goes to outside dialogs.
HWND focusWindow();
void setFocusWindow(HWND handle);

// Full window size of a dialog (frame, caption and client).
int dialogWindowWidth(const Dialog& d);
int dialogWindowHeight(const Dialog& d);

// The window procedures of dialogs and of controls (dialog.cpp).
LRESULT dialogMessage(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT controlMessage(Window& control, UINT message, WPARAM wParam, LPARAM lParam);

// Dialog input, from the scripted user, SDL or the simulate* calls.
void dialogKey(HWND dialog, int virtualKey, bool shift);
void dialogClose(HWND dialog);
void dialogClickControl(HWND dialog, HWND control);
void dialogChooseRow(HWND dialog, HWND list, int row, bool byKeyboard);
// Live mouse input, in window coordinates.
void dialogMouse(HWND dialog, int x, int y, bool down);
void dialogWheel(HWND dialog, int x, int y, int steps);

// Rows of a list box that fit its height.
int visibleRows(const Window& list, const Dialog& d);

// Key state for GetAsyncKeyState and translation of a key press into
// messages for the focus window; shared by SDL and the simulate* calls.
void keyEvent(int virtualKey, bool down, bool repeat, HWND target);
// Turns waiting SDL events into messages and dialog input (live mode).
void pumpEvents();
// The handle of the window shown in an SDL window, or null.
HWND windowForSdl(const SDL_Window* window);
// The virtual-key code for an SDL key code, or 0 for keys the show's
// platform has no code for.
int virtualKeyFromSdl(int sdlKeycode);

// SDL side of a top-level window (live mode with a display only).
bool sdlReady();
SDL_Window* sdlCreate(const char* title, int x, int y, int width, int height, bool openGl);
void sdlDestroy(SDL_Window* window);
void sdlShow(SDL_Window* window, bool show);
void sdlMove(SDL_Window* window, int x, int y, int width, int height);
void sdlSetIcon(SDL_Window* window, const IconImage* icon);
void sdlPresent(SDL_Window* window, const Picture& picture);
void sdlMakeDialogDraggable(SDL_Window* window, HWND dialog);
// Waits up to `ms` for an SDL event; false when none came.
bool sdlWait(int ms);
void sdlScreenSize(int& width, int& height);
void sdlWarpMouse(int x, int y);
void sdlShowCursor(bool show);

// Stock icons drawn by this layer.
const IconImage* stockIcon(WORD id);

} // namespace platform::win32::user
