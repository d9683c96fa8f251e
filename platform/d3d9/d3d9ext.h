// Calls of this layer that the platform does not have: naming the renderer,
// reading pixels back, lowering the reported shader versions, and counting the
// work a draw costs.
// For tests, the capture tool and benchmarks.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::d3d9 {

// The GL_RENDERER string of the context a virtual-mode device would draw with
// (the EGL surfaceless context), for example "llvmpipe (LLVM 15.0.6, 256 bits)";
// "" when no such context can be made. Makes and releases a context of its own.
std::string virtualRendererName();

// Copies a render target, the back buffer (GetBackBuffer, also after Present)
// or a texture level into argb: width * height pixels 0xAARRGGBB, row 0 the
// top row. Depth surfaces refuse (D3DERR_INVALIDCALL). Formats without alpha
// read back with alpha 0xFF; G16R16 reads back as (R16 >> 8, G16 >> 8, 0xFF).
HRESULT readBack(IDirect3DSurface9* surface, UINT& width, UINT& height, std::vector<D3DCOLOR>& argb);

// Caps the shader versions GetDeviceCaps reports (and CreateVertexShader /
// CreatePixelShader accept) at these version tokens; 0 for none. The default
// is vs_2_0 / ps_2_0. Applies to devices and caps queried afterwards.
void limitShaderVersions(DWORD vertexShaderVersion, DWORD pixelShaderVersion);

// Work sent to GL since the device was created.
struct DeviceCounters {
    std::uint64_t draws;        // glDraw* calls
    std::uint64_t stateChanges; // GL state calls other than draws and uploads
    std::uint64_t uploads;      // buffer and texture data transfers
    std::uint64_t programSwitches;
    std::uint64_t programsBuilt;   // GL programs linked (cache misses)
    std::uint64_t shadersCompiled; // GL shaders compiled: translated token code and generated stages
};
DeviceCounters countersOf(IDirect3DDevice9* device);

// In virtual run mode the adapter also lists width x height (at 60 and 75 Hz),
// after its common modes; a size already listed is not listed twice.
void addVirtualMode(UINT width, UINT height);

// Called in virtual mode for every presented back buffer, in present order.
// rgba: width*height*4 bytes, row 0 the top row, bytes R, G, B, A per pixel.
using PresentHook = void (*)(void* user, UINT width, UINT height, const std::uint8_t* rgba);
void setPresentHook(PresentHook hook, void* user); // nullptr removes it
// Delivers every frame still in flight (the PBO ring) to the hook; call before exit.
void flushPresentHook();
// Inside a hook call: the clock reading (platform/kernel/clock.h) when the
// frame being handed over was presented, before Present moved virtual time.
std::uint64_t presentedFrameNs();

// What the present hook's read-back costs, on the steady clock, while timing
// is on (off by default, and then nothing is timed). With timing on, every
// virtual present first waits for the frame's drawing to finish (glFinish),
// counted in drawNs, so that the read-back that follows (the copy into the
// ring, mapping it, handing the pixels over, less the hook's own time) is
// counted apart in readBackNs. Pictures are the same either way.
struct ReadBackTimes {
    std::uint64_t drawNs = 0;
    std::uint64_t readBackNs = 0;
};
void timePresentReadBack(bool on);
ReadBackTimes presentReadBackTimes();

} // namespace platform::d3d9
