// The program's own resources: dialog templates and icons, looked up by
// number as the platform's resource calls do. The data lives above this
// layer (resources/), which adds it once at start-up; the tables must outlive
// every dialog and window that uses them.
#pragma once

#include "platform/kernel/windef.h"

#include <cstdint>

// One control of a dialog template. Positions and sizes are in dialog units.
// `className` is "BUTTON", "STATIC", "EDIT" or "LISTBOX". `text` is the
// control's text, or for an SS_ICON static an icon number made with
// MAKEINTRESOURCEA (a stock IDI_* icon or a program icon).
struct DialogItemTemplate {
    DWORD style;
    DWORD exStyle;
    short x;
    short y;
    short cx;
    short cy;
    int id;
    LPCSTR className;
    LPCSTR text;
};

// A dialog: frame styles, position and size in dialog units, caption, and the
// font (points and face) that sets the size of a dialog unit (DS_SETFONT).
struct DialogTemplate {
    DWORD style;
    DWORD exStyle;
    short x;
    short y;
    short cx;
    short cy;
    LPCSTR caption;
    WORD pointSize;
    LPCSTR faceName;
    const DialogItemTemplate* items;
    int itemCount;
};

// A square or rectangular picture, rows top to bottom, 0xAARRGGBB pixels.
struct IconImage {
    int width;
    int height;
    const std::uint32_t* pixels;
};

namespace platform::win32 {

// Registers a template or an icon under a number; a later call with the same
// number replaces the entry.
void addDialogResource(WORD id, const DialogTemplate* dialog);
void addIconResource(WORD id, const IconImage* icon);
// The registered entry, or null.
const DialogTemplate* findDialogResource(WORD id);
const IconImage* findIconResource(WORD id);

} // namespace platform::win32
