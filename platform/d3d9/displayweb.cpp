// The browser's one display: the screen the page is on, as the page reports
// it, at 60 Hz (the browser paces frames to the display itself).
#include "platform/d3d9/display.h"

#include <emscripten/html5.h>

namespace platform::d3d9 {

bool startDisplays(std::string& error) {
    (void)error;
    return true;
}

void stopDisplays() {}

int displayCount() {
    return 1;
}

std::string displayName(int display) {
    (void)display;
    return "Browser";
}

bool desktopMode(int display, D3DDISPLAYMODE& mode) {
    int width = 0;
    int height = 0;
    emscripten_get_screen_size(&width, &height);
    if (display != 0 || width <= 0 || height <= 0) {
        return false;
    }
    mode = D3DDISPLAYMODE{static_cast<UINT>(width), static_cast<UINT>(height), 60, D3DFMT_X8R8G8B8};
    return true;
}

std::vector<D3DDISPLAYMODE> displayModes(int display) {
    D3DDISPLAYMODE mode{};
    if (!desktopMode(display, mode)) {
        return {};
    }
    return {mode};
}

} // namespace platform::d3d9
