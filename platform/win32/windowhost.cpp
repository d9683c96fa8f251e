#include "platform/win32/windowhost.h"

namespace platform {

// Until the window manager is linked in, no handle has an SDL window.
SDL_Window* sdlWindowFor(HWND) { return nullptr; }

} // namespace platform
