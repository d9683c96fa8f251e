// How the graphics layer finds the SDL window behind a window handle.
#pragma once

#include "platform/kernel/windef.h"

struct SDL_Window;

namespace platform::win32 {

// The SDL window that CreateWindowExA made for the handle, or null where the
// handle has none (virtual mode, or a handle this layer did not make).
SDL_Window* sdlWindowFor(HWND window);

} // namespace platform::win32
