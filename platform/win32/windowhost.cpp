#include "platform/win32/windowhost.h"

#include "platform/win32/userstate.h"

namespace platform::win32 {

SDL_Window* sdlWindowFor(HWND window) {
    user::Window* w = user::find(window);
    return w != nullptr ? w->sdl : nullptr;
}

} // namespace platform::win32
