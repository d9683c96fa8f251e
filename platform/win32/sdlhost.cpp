// The SDL side of the user-interface layer: the video system, SDL windows,
// and the translation of SDL events into messages and dialog input.
#include "platform/kernel/kernel.h"
#include "platform/win32/userstate.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::win32::user {

namespace {

HWND hwndOf(Uint32 sdlWindowId) {
    return windowForSdl(SDL_GetWindowFromID(sdlWindowId));
}

bool isDialog(HWND handle) {
    Window* w = find(handle);
    return w != nullptr && w->dialog;
}

// Dialogs have no system frame: the caption bar drawn by this layer moves
// the window, except over its close box.
SDL_HitTestResult dialogHitTest(SDL_Window*, const SDL_Point* point, void* data) {
    Window* w = find(static_cast<HWND>(data));
    if (w == nullptr || !w->dialog) {
        return SDL_HITTEST_NORMAL;
    }
    const Dialog& d = *w->dialog;
    const int closeLeft = dialogWindowWidth(d) - d.frame - 2 - 16;
    if (point->y >= d.frame && point->y < d.frame + d.caption && point->x < closeLeft) {
        return SDL_HITTEST_DRAGGABLE;
    }
    return SDL_HITTEST_NORMAL;
}

void handle(const SDL_Event& e) {
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int vk = virtualKeyFromSdl(e.key.keysym.sym);
        if (vk != 0) {
            keyEvent(vk, e.type == SDL_KEYDOWN, e.key.repeat != 0, hwndOf(e.key.windowID));
        }
        break;
    }
    case SDL_WINDOWEVENT: {
        HWND target = hwndOf(e.window.windowID);
        Window* w = find(target);
        if (w == nullptr) {
            break;
        }
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            platform::win32::simulateClose(target);
        } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SHOWN) {
            if (w->dialog) {
                w->dialog->dirty = true;
            }
        } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && !w->dialog) {
            setFocusWindow(target);
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        HWND target = hwndOf(e.button.windowID);
        if (e.button.button == SDL_BUTTON_LEFT && isDialog(target)) {
            dialogMouse(target, e.button.x, e.button.y, e.type == SDL_MOUSEBUTTONDOWN);
        }
        break;
    }
    case SDL_MOUSEWHEEL: {
        HWND target = hwndOf(e.wheel.windowID);
        if (isDialog(target)) {
            int x = 0;
            int y = 0;
            SDL_GetMouseState(&x, &y);
            dialogWheel(target, x, y, e.wheel.y);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

int virtualKeyFromSdl(int key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return VK_F1 + (key - SDLK_F1);
    }
    switch (key) {
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    default:
        return 0;
    }
}

bool sdlReady() {
    static const bool ready = [] {
        // Without a display server to talk to there is nothing to try (and
        // nothing worth a log line: it is the normal case on a build machine).
        if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
            return false;
        }
        // The entry point keeps its own signal handlers.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // Dialogs paint into plain window surfaces; a GL-backed surface would
        // leave a context of SDL's current where the graphics layer expects its own.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            char line[512];
            std::snprintf(line, sizeof line, "user: no display: %s\n", SDL_GetError());
            OutputDebugStringA(line);
            return false;
        }
        // SDL falls back to drivers that show nothing; no person could
        // answer a dialog there, so they count as no display.
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
            char line[256];
            std::snprintf(line, sizeof line, "user: no display (video driver %s)\n",
                          driver != nullptr ? driver : "none");
            OutputDebugStringA(line);
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return false;
        }
        return true;
    }();
    return ready;
}

SDL_Window* sdlCreate(const char* title, int x, int y, int width, int height, bool openGl) {
    const Uint32 flags = SDL_WINDOW_HIDDEN | (openGl ? SDL_WINDOW_OPENGL : SDL_WINDOW_BORDERLESS);
    SDL_Window* w = SDL_CreateWindow(title, x, y, width, height, flags);
    if (w == nullptr) {
        char line[512];
        std::snprintf(line, sizeof line, "user: SDL_CreateWindow failed: %s\n", SDL_GetError());
        OutputDebugStringA(line);
    }
    return w;
}

void sdlDestroy(SDL_Window* window) {
    SDL_DestroyWindow(window);
}

void sdlShow(SDL_Window* window, bool show) {
    if (show) {
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
    } else {
        SDL_HideWindow(window);
    }
}

void sdlMove(SDL_Window* window, int x, int y, int width, int height) {
    SDL_SetWindowSize(window, width, height);
    SDL_SetWindowPosition(window, x, y);
}

void sdlSetIcon(SDL_Window* window, const IconImage* icon) {
    if (icon == nullptr) {
        return;
    }
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(icon->pixels), icon->width,
                                                        icon->height, 32, icon->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (s != nullptr) {
        SDL_SetWindowIcon(window, s);
        SDL_FreeSurface(s);
    }
}

void sdlPresent(SDL_Window* window, const platform::win32::Picture& picture) {
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (target == nullptr || picture.pixels.empty()) {
        return;
    }
    SDL_Surface* source =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(picture.pixels.data()), picture.width,
                                           picture.height, 32, picture.width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (source == nullptr) {
        return;
    }
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(window);
}

void sdlMakeDialogDraggable(SDL_Window* window, HWND dialog) {
    SDL_SetWindowHitTest(window, dialogHitTest, dialog);
}

bool sdlWait(int ms) {
    return SDL_WaitEventTimeout(nullptr, ms) == 1;
}

void sdlScreenSize(int& width, int& height) {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    }
}

void sdlWarpMouse(int x, int y) {
    SDL_WarpMouseGlobal(x, y);
}

void sdlShowCursor(bool show) {
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void pumpEvents() {
    if (!sdlReady()) {
        return;
    }
    SDL_Event e;
    while (SDL_PollEvent(&e) == 1) {
        handle(e);
    }
}

} // namespace platform::win32::user
