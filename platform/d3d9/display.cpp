#include "platform/d3d9/display.h"

#include <SDL.h>

#include <algorithm>

namespace platform::d3d9 {
namespace {

// SDL reports 0 Hz when the driver does not know the rate; callers pick modes
// by rate, so such modes are listed at 60 Hz.
UINT listedRate(int hz) {
    return hz > 0 ? static_cast<UINT>(hz) : 60u;
}

} // namespace

std::vector<D3DDISPLAYMODE> displayModes(int display) {
    std::vector<D3DDISPLAYMODE> modes;
    int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode{};
        if (SDL_GetDisplayMode(display, i, &mode) != 0 || SDL_BITSPERPIXEL(mode.format) < 24) {
            continue;
        }
        D3DDISPLAYMODE d{static_cast<UINT>(mode.w), static_cast<UINT>(mode.h), listedRate(mode.refresh_rate),
                         D3DFMT_X8R8G8B8};
        bool seen = std::any_of(modes.begin(), modes.end(), [&](const D3DDISPLAYMODE& m) {
            return m.Width == d.Width && m.Height == d.Height && m.RefreshRate == d.RefreshRate;
        });
        if (!seen) {
            modes.push_back(d);
        }
    }
    SDL_DisplayMode desktop{};
    if (modes.empty() && SDL_GetDesktopDisplayMode(display, &desktop) == 0 && desktop.w > 0) {
        // Drivers that list no modes (offscreen, some virtual displays) still
        // have the desktop's.
        modes.push_back(D3DDISPLAYMODE{static_cast<UINT>(desktop.w), static_cast<UINT>(desktop.h),
                                       listedRate(desktop.refresh_rate), D3DFMT_X8R8G8B8});
    }
    std::sort(modes.begin(), modes.end(), [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
        if (a.Width != b.Width) {
            return a.Width < b.Width;
        }
        if (a.Height != b.Height) {
            return a.Height < b.Height;
        }
        return a.RefreshRate < b.RefreshRate;
    });
    return modes;
}

bool startDisplays(std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("SDL video did not start: ") + SDL_GetError();
        return false;
    }
    return true;
}

void stopDisplays() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int displayCount() {
    return SDL_GetNumVideoDisplays();
}

std::string displayName(int display) {
    const char* name = SDL_GetDisplayName(display);
    return name != nullptr ? name : "";
}

bool desktopMode(int display, D3DDISPLAYMODE& mode) {
    SDL_DisplayMode desktop{};
    if (SDL_GetDesktopDisplayMode(display, &desktop) != 0) {
        return false;
    }
    mode = D3DDISPLAYMODE{static_cast<UINT>(desktop.w), static_cast<UINT>(desktop.h), listedRate(desktop.refresh_rate),
                          D3DFMT_X8R8G8B8};
    return true;
}

} // namespace platform::d3d9
