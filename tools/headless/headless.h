// The Direct3D 9 layer on a headless EGL context (virtual run mode), set up
// the one way the tests, the benchmarks and the tools that draw without a
// window share: present parameters of a windowed back buffer, the device on
// adapter 0, the framework's `device` made on it, and pixels read back.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstddef>
#include <vector>

class device;

namespace headless {

// A windowed back buffer of width x height: one X8R8G8B8 buffer, discarded on
// Present, presented immediately, no device window; an automatic depth
// surface of depthFormat when autoDepth is TRUE.
D3DPRESENT_PARAMETERS presentParameters(UINT width, UINT height, BOOL autoDepth = TRUE,
                                        D3DFORMAT depthFormat = D3DFMT_D24S8);

// Puts the layer in virtual run mode and makes the Direct3D object; null
// when the layer cannot make one.
IDirect3D9* openVirtualLayer();

// CreateDevice on the HAL of adapter 0 with hardware vertex processing and
// no focus window; the layer's result.
HRESULT createDevice(IDirect3D9* d3d, D3DPRESENT_PARAMETERS& params, IDirect3DDevice9** out);

// The framework's device on a virtual back buffer of width x height (D24S8
// depth) as target 0, with the adapter's caps; null when no device can be
// made. The layer makes one device per process, so make this once.
device* makeFrameworkDevice(UINT width, UINT height);

struct Picture {
    UINT width = 0;
    UINT height = 0;
    std::vector<D3DCOLOR> pixels; // 0xAARRGGBB, rows top down
    D3DCOLOR at(UINT x, UINT y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// 0xAARRGGBB channels.
inline int red(D3DCOLOR c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
inline int green(D3DCOLOR c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
inline int blue(D3DCOLOR c) {
    return static_cast<int>(c & 0xFF);
}
inline int alpha(D3DCOLOR c) {
    return static_cast<int>(c >> 24);
}

// Reads a surface of the layer back into picture; the layer's result.
HRESULT readPicture(IDirect3DSurface9* surface, Picture& picture);

} // namespace headless
