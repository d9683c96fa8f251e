// Modal dialogs: creation from a template, the modal loop, the dialog and
// control procedures, keyboard and mouse handling, and playing the scripted
// user's actions (queued by script.cpp).
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/userstate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

using namespace platform::win32::user;

namespace {

Dialog* dialogOf(Window& w) {
    if (w.dialog) {
        return w.dialog.get();
    }
    Window* parent = find(w.parent);
    return parent != nullptr && parent->dialog ? parent->dialog.get() : nullptr;
}

void markDirty(Window& w) {
    if (Dialog* d = dialogOf(w)) {
        d->dirty = true;
    }
}

LRESULT sendCommand(HWND dialog, int id, WORD code, HWND control) {
    return SendMessageA(dialog, WM_COMMAND, MAKELONG(static_cast<WORD>(id), code), reinterpret_cast<LPARAM>(control));
}

bool usable(const Window* w) {
    return w != nullptr && w->visible && w->enabled;
}

// List rows sort as text without regard to case, as the platform's sorted
// list boxes compare them.
int compareRows(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str());
}

void scrollIntoView(Window& list) {
    Dialog* d = dialogOf(list);
    if (d == nullptr || list.selected < 0) {
        return;
    }
    const int visible = std::max(1, visibleRows(list, *d));
    if (list.selected < list.topRow) {
        list.topRow = list.selected;
    } else if (list.selected >= list.topRow + visible) {
        list.topRow = list.selected - visible + 1;
    }
}

int defaultButtonId(Window& dialog) {
    for (HWND c : dialog.dialog->controls) {
        Window* w = find(c);
        if (w != nullptr && w->kind == ControlKind::pushButton && (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            return w->id;
        }
    }
    return IDOK;
}

// Sends the command of a button that a key stands for, unless that button
// exists and cannot be used.
void commandByKey(HWND dialog, int id) {
    Window* button = findControl(dialog, id);
    if (button != nullptr && !usable(button)) {
        return;
    }
    sendCommand(dialog, id, BN_CLICKED, button != nullptr ? button->handle : nullptr);
}

void moveFocus(Window& dialog, bool backwards) {
    std::vector<HWND> stops;
    for (HWND c : dialog.dialog->controls) {
        Window* w = find(c);
        if (usable(w) && (w->style & WS_TABSTOP) != 0) {
            stops.push_back(c);
        }
    }
    if (stops.empty()) {
        return;
    }
    auto it = std::find(stops.begin(), stops.end(), dialog.dialog->focus);
    std::size_t index = 0;
    if (it == stops.end()) {
        index = backwards ? stops.size() - 1 : 0;
    } else {
        const std::size_t at = static_cast<std::size_t>(it - stops.begin());
        index = backwards ? (at + stops.size() - 1) % stops.size() : (at + 1) % stops.size();
    }
    dialog.dialog->focus = stops[index];
    dialog.dialog->dirty = true;
}

void listKey(HWND dialog, Window& list, int vk) {
    const int count = static_cast<int>(list.rows.size());
    Dialog* d = dialogOf(list);
    if (count == 0 || d == nullptr) {
        return;
    }
    const int page = std::max(1, visibleRows(list, *d) - 1);
    int row = list.selected;
    switch (vk) {
    case VK_UP:
        row = row < 0 ? 0 : row - 1;
        break;
    case VK_DOWN:
        row = row < 0 ? 0 : row + 1;
        break;
    case VK_PRIOR:
        row = row < 0 ? 0 : row - page;
        break;
    case VK_NEXT:
        row = row < 0 ? 0 : row + page;
        break;
    case VK_HOME:
        row = 0;
        break;
    case VK_END:
        row = count - 1;
        break;
    default:
        return;
    }
    dialogChooseRow(dialog, list.handle, std::clamp(row, 0, count - 1), true);
}

void editKey(Window& edit, int vk) {
    const int length = static_cast<int>(edit.text.size());
    switch (vk) {
    case VK_LEFT:
        edit.editCaret = std::max(0, edit.editCaret - 1);
        break;
    case VK_RIGHT:
        edit.editCaret = std::min(length, edit.editCaret + 1);
        break;
    case VK_HOME:
        edit.editCaret = 0;
        break;
    case VK_END:
        edit.editCaret = length;
        break;
    default:
        return;
    }
    edit.editScroll = std::min(edit.editScroll, edit.editCaret);
    markDirty(edit);
}

void play(HWND dialog, ScriptAction action) {
    switch (action.kind) {
    case ScriptAction::Kind::chooseRow:
    case ScriptAction::Kind::chooseRowText: {
        Window* list = findControl(dialog, action.controlId);
        if (list == nullptr || list->kind != ControlKind::listBox) {
            scriptFailed("no list box", action.controlId);
            return;
        }
        int row = action.row;
        if (action.kind == ScriptAction::Kind::chooseRowText) {
            auto it = std::find(list->rows.begin(), list->rows.end(), action.text);
            row = it == list->rows.end() ? -1 : static_cast<int>(it - list->rows.begin());
        }
        if (row < 0 || row >= static_cast<int>(list->rows.size())) {
            scriptFailed("no such row", action.controlId);
            return;
        }
        if (usable(list)) {
            dialogChooseRow(dialog, list->handle, row, false);
        }
        return;
    }
    case ScriptAction::Kind::click: {
        Window* control = findControl(dialog, action.controlId);
        if (control == nullptr) {
            scriptFailed("no such control", action.controlId);
            return;
        }
        dialogClickControl(dialog, control->handle);
        return;
    }
    case ScriptAction::Kind::key:
        dialogKey(dialog, action.vk, action.shift);
        return;
    case ScriptAction::Kind::close:
        dialogClose(dialog);
        return;
    case ScriptAction::Kind::call:
        if (action.code) {
            action.code(dialog);
        }
        return;
    }
}

ControlKind kindOf(const DialogItemTemplate& item) {
    if (item.className == nullptr) {
        return ControlKind::none;
    }
    if (strcasecmp(item.className, "BUTTON") == 0) {
        const DWORD type = item.style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
            return ControlKind::pushButton;
        }
        return type == BS_AUTOCHECKBOX ? ControlKind::checkBox : ControlKind::none;
    }
    if (strcasecmp(item.className, "STATIC") == 0) {
        const DWORD type = item.style & SS_TYPEMASK;
        if (type == SS_ICON) {
            return ControlKind::staticIcon;
        }
        return type == SS_LEFT ? ControlKind::staticText : ControlKind::none;
    }
    if (strcasecmp(item.className, "EDIT") == 0) {
        return ControlKind::edit;
    }
    if (strcasecmp(item.className, "LISTBOX") == 0) {
        return ControlKind::listBox;
    }
    return ControlKind::none;
}

const IconImage* iconFor(LPCSTR text) {
    if (text == nullptr || !IS_INTRESOURCE(text)) {
        return nullptr;
    }
    const WORD id = static_cast<WORD>(reinterpret_cast<UINT_PTR>(text));
    const IconImage* stock = stockIcon(id);
    return stock != nullptr ? stock : platform::win32::findIconResource(id);
}

// Builds the dialog window and its controls, hidden, laid out in pixels.
HWND createDialog(const DialogTemplate& t, DLGPROC procedure) {
    auto w = std::make_unique<Window>();
    w->className = "#32770";
    w->style = t.style;
    w->exStyle = t.exStyle;
    w->text = t.caption != nullptr ? t.caption : "";
    w->dialog = std::make_unique<Dialog>();
    Dialog& d = *w->dialog;
    d.procedure = procedure;
    d.source = &t;

    // Dialog base units from the template font, as the platform derives them:
    // the average width of the 52 letters rounded to whole pixels, and the
    // character cell height.
    const int pixels = -MulDiv(t.pointSize, 96, 72);
    d.font = CreateFontA(pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, t.faceName);
    d.captionFont = CreateFontA(pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, t.faceName);
    if (d.font == nullptr || d.captionFont == nullptr) {
        if (d.font != nullptr) {
            DeleteObject(d.font);
        }
        if (d.captionFont != nullptr) {
            DeleteObject(d.captionFont);
        }
        return nullptr;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, d.font);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size{};
    GetTextExtentPoint32A(dc, letters, 52, &size);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    DeleteDC(dc);
    d.baseX = (size.cx / 26 + 1) / 2;
    d.baseY = tm.tmHeight;
    d.lineHeight = tm.tmHeight;
    d.clientWidth = MulDiv(t.cx, d.baseX, 4);
    d.clientHeight = MulDiv(t.cy, d.baseY, 8);
    // Classic frame metrics: a 3-pixel dialog frame, an 18-pixel caption,
    // and a 2-pixel sunken edge for WS_EX_CLIENTEDGE.
    d.frame = 3;
    d.caption = (t.style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
    d.edge = (t.exStyle & WS_EX_CLIENTEDGE) != 0 ? 2 : 0;

    HWND dialog = addWindow(std::move(w));
    for (int i = 0; i < t.itemCount; ++i) {
        const DialogItemTemplate& item = t.items[i];
        auto c = std::make_unique<Window>();
        c->className = item.className != nullptr ? item.className : "";
        c->kind = kindOf(item);
        c->parent = dialog;
        c->style = item.style;
        c->exStyle = item.exStyle;
        c->id = item.id;
        c->visible = (item.style & WS_VISIBLE) != 0;
        c->enabled = (item.style & WS_DISABLED) == 0;
        const int x = MulDiv(item.x, d.baseX, 4);
        const int y = MulDiv(item.y, d.baseY, 8);
        int cx = MulDiv(item.cx, d.baseX, 4);
        int cy = MulDiv(item.cy, d.baseY, 8);
        if (c->kind == ControlKind::staticIcon) {
            c->iconImage = iconFor(item.text);
            // An icon static takes the icon's own size.
            if (c->iconImage != nullptr) {
                cx = c->iconImage->width;
                cy = c->iconImage->height;
            }
        } else {
            c->text = item.text != nullptr && !IS_INTRESOURCE(item.text) ? item.text : "";
        }
        c->rect = RECT{x, y, x + cx, y + cy};
        if (c->kind == ControlKind::none) {
            char line[160];
            std::snprintf(line, sizeof line, "user: dialog control %d of class %s is not supported\n", item.id,
                          c->className.c_str());
            OutputDebugStringA(line);
        }
        d.controls.push_back(addWindow(std::move(c)));
    }
    for (HWND c : d.controls) {
        Window* cw = find(c);
        if (usable(cw) && (cw->style & WS_TABSTOP) != 0) {
            d.focus = c;
            break;
        }
    }
    return dialog;
}

void repaint(Window& w) {
    if (w.sdl == nullptr || !w.visible) {
        return;
    }
    platform::win32::Picture picture;
    platform::win32::paintDialog(w.handle, picture);
    sdlPresent(w.sdl, picture);
    w.dialog->dirty = false;
}

} // namespace

namespace platform::win32::user {

LRESULT dialogMessage(Window& dw, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND dialog = dw.handle;
    const INT_PTR handled = dw.dialog->procedure(dialog, message, wParam, lParam);
    if (handled != 0) {
        return handled;
    }
    Window* w = find(dialog);
    if (w == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_CLOSE: {
        // Closing by the frame counts as Cancel, unless Cancel is disabled.
        commandByKey(dialog, IDCANCEL);
        return 0;
    }
    case DM_GETDEFID:
        return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(defaultButtonId(*w)), 0x534B));
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return controlMessage(*w, message, wParam, lParam);
    default:
        return 0;
    }
}

LRESULT controlMessage(Window& c, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        c.text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        c.editScroll = 0;
        c.editCaret = 0;
        markDirty(c);
        return TRUE;
    case WM_GETTEXT: {
        char* buffer = reinterpret_cast<char*>(lParam);
        if (buffer == nullptr || wParam == 0) {
            return 0;
        }
        const std::size_t n = std::min<std::size_t>(c.text.size(), wParam - 1);
        std::memcpy(buffer, c.text.data(), n);
        buffer[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(c.text.size());
    default:
        break;
    }
    if (c.kind == ControlKind::listBox) {
        const int count = static_cast<int>(c.rows.size());
        const int index = static_cast<int>(static_cast<LONG_PTR>(wParam));
        switch (message) {
        case LB_ADDSTRING: {
            const char* text = reinterpret_cast<const char*>(lParam);
            if (text == nullptr) {
                return LB_ERR;
            }
            if (count >= 32767) {
                return LB_ERRSPACE;
            }
            int at = count;
            if ((c.style & LBS_SORT) != 0) {
                at = static_cast<int>(
                    std::upper_bound(c.rows.begin(), c.rows.end(), std::string(text),
                                     [](const std::string& a, const std::string& b) { return compareRows(a, b) < 0; }) -
                    c.rows.begin());
            }
            c.rows.insert(c.rows.begin() + at, text);
            if (c.selected >= at) {
                ++c.selected;
            }
            markDirty(c);
            return at;
        }
        case LB_RESETCONTENT:
            c.rows.clear();
            c.selected = -1;
            c.topRow = 0;
            markDirty(c);
            return 0;
        case LB_SETCURSEL:
            if (index < 0 || index >= count) {
                if (index == -1) {
                    c.selected = -1;
                    markDirty(c);
                }
                return LB_ERR;
            }
            c.selected = index;
            scrollIntoView(c);
            markDirty(c);
            return index;
        case LB_GETCURSEL:
            return c.selected;
        case LB_GETTEXT: {
            char* buffer = reinterpret_cast<char*>(lParam);
            if (index < 0 || index >= count || buffer == nullptr) {
                return LB_ERR;
            }
            const std::string& row = c.rows[static_cast<std::size_t>(index)];
            std::memcpy(buffer, row.c_str(), row.size() + 1);
            return static_cast<LRESULT>(row.size());
        }
        case LB_GETTEXTLEN:
            return index < 0 || index >= count ? LB_ERR
                                               : static_cast<LRESULT>(c.rows[static_cast<std::size_t>(index)].size());
        case LB_GETCOUNT:
            return count;
        case LB_GETTOPINDEX:
            return c.topRow;
        default:
            return 0;
        }
    }
    if (c.kind == ControlKind::checkBox || c.kind == ControlKind::pushButton) {
        switch (message) {
        case BM_GETCHECK:
            return c.checked ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            if (c.kind == ControlKind::checkBox) {
                c.checked = wParam == BST_CHECKED;
                markDirty(c);
            }
            return 0;
        case BM_CLICK:
            dialogClickControl(c.parent, c.handle);
            return 0;
        default:
            return 0;
        }
    }
    return 0;
}

void dialogKey(HWND dialog, int vk, bool shift) {
    Window* dw = find(dialog);
    if (dw == nullptr || !dw->dialog || dw->dialog->ended || !dw->enabled) {
        return;
    }
    Window* focused = find(dw->dialog->focus);
    switch (vk) {
    case VK_TAB:
        moveFocus(*dw, shift);
        return;
    case VK_RETURN:
        // A focused push button is the default for the moment.
        if (focused != nullptr && focused->kind == ControlKind::pushButton) {
            commandByKey(dialog, focused->id);
        } else {
            commandByKey(dialog, defaultButtonId(*dw));
        }
        return;
    case VK_ESCAPE:
        commandByKey(dialog, IDCANCEL);
        return;
    case VK_SPACE:
        if (focused != nullptr &&
            (focused->kind == ControlKind::pushButton || focused->kind == ControlKind::checkBox)) {
            dialogClickControl(dialog, focused->handle);
        }
        return;
    default:
        break;
    }
    if (focused != nullptr && focused->kind == ControlKind::listBox) {
        listKey(dialog, *focused, vk);
    } else if (focused != nullptr && focused->kind == ControlKind::edit) {
        editKey(*focused, vk);
    }
}

void dialogClose(HWND dialog) {
    Window* dw = find(dialog);
    if (dw == nullptr || !dw->dialog || dw->dialog->ended) {
        return;
    }
    SendMessageA(dialog, WM_CLOSE, 0, 0);
}

void dialogClickControl(HWND dialog, HWND control) {
    Window* dw = find(dialog);
    Window* c = find(control);
    if (dw == nullptr || !dw->dialog || c == nullptr || !usable(c) || !dw->enabled) {
        return;
    }
    if (c->kind != ControlKind::pushButton && c->kind != ControlKind::checkBox) {
        return;
    }
    if ((c->style & WS_TABSTOP) != 0) {
        dw->dialog->focus = control;
    }
    if (c->kind == ControlKind::checkBox) {
        c->checked = !c->checked;
    }
    dw->dialog->dirty = true;
    sendCommand(dialog, c->id, BN_CLICKED, control);
}

void dialogChooseRow(HWND dialog, HWND list, int row, bool byKeyboard) {
    Window* dw = find(dialog);
    Window* c = find(list);
    if (dw == nullptr || !dw->dialog || c == nullptr || !usable(c) || row < 0 ||
        row >= static_cast<int>(c->rows.size())) {
        return;
    }
    const bool changed = c->selected != row;
    c->selected = row;
    scrollIntoView(*c);
    dw->dialog->focus = list;
    dw->dialog->dirty = true;
    // A click notifies even on the row already chosen; a key only on a change.
    if ((c->style & LBS_NOTIFY) != 0 && (changed || !byKeyboard)) {
        sendCommand(dialog, c->id, LBN_SELCHANGE, list);
    }
}

int dialogWindowWidth(const Dialog& d) {
    return d.clientWidth + 2 * (d.frame + d.edge);
}
int dialogWindowHeight(const Dialog& d) {
    return d.clientHeight + 2 * (d.frame + d.edge) + d.caption;
}

} // namespace platform::win32::user

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND, DLGPROC procedure, LPARAM initParam) {
    if (instance != nullptr && instance != GetModuleHandleA(nullptr)) {
        refuse("DialogBoxParamA", "templates come from the program only", ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    const DialogTemplate* t =
        IS_INTRESOURCE(templateName)
            ? platform::win32::findDialogResource(static_cast<WORD>(reinterpret_cast<UINT_PTR>(templateName)))
            : nullptr;
    if (t == nullptr) {
        refuse("DialogBoxParamA", "no such dialog template", ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (procedure == nullptr) {
        refuse("DialogBoxParamA", "no dialog procedure", ERROR_INVALID_PARAMETER);
        return -1;
    }
    const bool live = platform::kernel::runMode() == platform::kernel::RunMode::live;
    if (live && !platform::win32::displayAvailable()) {
        refuse("DialogBoxParamA", "no display to show the dialog on", ERROR_NOT_SUPPORTED);
        return -1;
    }
    HWND dialog = createDialog(*t, procedure);
    if (dialog == nullptr) {
        refuse("DialogBoxParamA", "the dialog font cannot be made", ERROR_FILE_NOT_FOUND);
        return -1;
    }

    // The dialog goes however the loop ends; WM_DESTROY is sent only on a
    // normal end, since a procedure that throws again while an exception
    // unwinds would end the process.
    struct Remove {
        HWND dialog;
        ~Remove() {
            Window* w = find(dialog);
            if (w == nullptr) {
                return;
            }
            HFONT font = w->dialog->font;
            HFONT captionFont = w->dialog->captionFont;
            removeWindow(dialog);
            DeleteObject(font);
            DeleteObject(captionFont);
        }
    } remove{dialog};

    Window* dw = find(dialog);
    Dialog& d = *dw->dialog;
    SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(d.focus), initParam);

    if (!d.ended) {
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        const int w = dialogWindowWidth(d);
        const int h = dialogWindowHeight(d);
        const int x = (t->style & DS_CENTER) != 0 ? (width - w) / 2 : MulDiv(t->x, d.baseX, 4);
        const int y = (t->style & DS_CENTER) != 0 ? (height - h) / 2 : MulDiv(t->y, d.baseY, 8);
        dw->rect = RECT{x, y, x + w, y + h};
        if (live) {
            dw->sdl = sdlCreate(dw->text.c_str(), x, y, w, h, false);
            if (dw->sdl == nullptr) {
                refuse("DialogBoxParamA", "the dialog window cannot be made", ERROR_NOT_SUPPORTED);
                return -1;
            }
            sdlMakeDialogDraggable(dw->sdl, dialog);
        }
    }
    dw->visible = true;
    if (dw->sdl != nullptr) {
        sdlShow(dw->sdl, true);
    }
    d.dirty = true;

    bool escapeTried = false;
    while (!d.ended) {
        // A paint turn after every change, in both modes: the procedure
        // sees WM_PAINT as it would on the platform, then the window is drawn.
        if (d.dirty) {
            d.dirty = false;
            SendMessageA(dialog, WM_PAINT, 0, 0);
            if (dw->sdl != nullptr && !d.ended) {
                repaint(*dw);
            }
            continue;
        }
        if (ScriptAction next(ScriptAction::Kind::click); nextScriptAction(next)) {
            play(dialog, std::move(next));
        } else if (dw->sdl == nullptr) {
            if (escapeTried) {
                OutputDebugStringA("scripted user: no actions left and the dialog stays open\n");
                SetLastError(ERROR_NOT_SUPPORTED);
                return -1;
            }
            OutputDebugStringA("scripted user: no actions left, pressing Escape\n");
            escapeTried = true;
            dialogKey(dialog, VK_ESCAPE, false);
        } else if (sdlWait(50)) {
            pumpEvents();
        }
    }
    const INT_PTR result = d.result;
    SendMessageA(dialog, WM_DESTROY, 0, 0);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Window* w = find(dialog);
    if (w == nullptr || !w->dialog) {
        refuse("EndDialog", "not a dialog", ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialog->ended = true;
    w->dialog->result = result;
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    Window* w = find(dialog);
    if (w == nullptr || !w->dialog || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const Dialog& d = *w->dialog;
    *rect = RECT{MulDiv(rect->left, d.baseX, 4), MulDiv(rect->top, d.baseY, 8), MulDiv(rect->right, d.baseX, 4),
                 MulDiv(rect->bottom, d.baseY, 8)};
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int controlId) {
    Window* c = findControl(dialog, controlId);
    if (c == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return c->handle;
}

int GetDlgCtrlID(HWND control) {
    Window* c = find(control);
    return c != nullptr && c->kind != ControlKind::none ? c->id : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int controlId, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* c = findControl(dialog, controlId);
    if (c == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return SendMessageA(c->handle, message, wParam, lParam);
}

BOOL SetDlgItemTextA(HWND dialog, int controlId, LPCSTR text) {
    Window* c = findControl(dialog, controlId);
    if (c == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(c->handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int controlId, LPSTR buffer, int size) {
    Window* c = findControl(dialog, controlId);
    if (c == nullptr || buffer == nullptr || size <= 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<UINT>(
        SendMessageA(c->handle, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

UINT IsDlgButtonChecked(HWND dialog, int controlId) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, controlId, BM_GETCHECK, 0, 0));
}

BOOL UpdateWindow(HWND handle) {
    Window* w = find(handle);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Window* d = w->dialog ? w : find(w->parent);
    if (d != nullptr && d->dialog && d->dialog->dirty) {
        repaint(*d);
    }
    return TRUE;
}
