// How the browser's graphics layer finds the canvas behind a window handle
// (the browser backend's counterpart of windowhost.h).
#pragma once

#include "platform/kernel/windef.h"

namespace platform {

// The CSS selector of the canvas that CreateWindowExA made for a top-level
// window ("#canvas", the page's own), or null where the handle has none
// (virtual mode, a dialog, a handle this layer did not make).
const char* canvasSelectorFor(HWND window);

} // namespace platform
