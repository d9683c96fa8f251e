// The back buffer's way out of the device, apart from the device as a swap
// chain is in Direct3D: the blit to the window and the buffer swap (live), the
// read-back ring that hands presented frames to the present hook (virtual,
// d3d9ext.h) with the hook's process-wide state, and reading a surface's
// pixels back. The device owns one swap chain and calls it with GL
// framebuffer names; the swap chain knows nothing of the device. Every call
// may leave another framebuffer bound, so the caller forgets its binding.
#pragma once

#include "platform/d3d9/context.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/gl.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::d3d9 {

class SwapChain {
  public:
    // Joins the swap chains whose frames in flight flushPresentHook delivers.
    explicit SwapChain(GlContext& context);
    // Hands the frames still in flight to the hook and leaves that list.
    ~SwapChain();
    SwapChain(const SwapChain&) = delete;
    SwapChain& operator=(const SwapChain&) = delete;

    // Live: the back buffer (framebuffer `source`, width x height, top row
    // first) blitted to the window at the window's size, then the swap.
    void present(GLuint source, GLint width, GLint height);
    // Virtual: queues the back buffer (framebuffer `source`) in the read-back
    // ring for the hook, when one is set; a full ring first hands its oldest
    // frame over. `opaque` formats deliver alpha 0xFF.
    void capture(GLuint source, UINT width, UINT height, bool opaque);
    // Hands every queued frame to the hook, oldest first.
    void flush();

  private:
    // Hands the oldest queued frames to the hook until at most `keep` remain.
    void deliver(std::size_t keep);

    // Pixel-pack buffers, so a frame's read-back finishes while later frames draw.
    struct Slot {
        GLuint buffer = 0;
        UINT width = 0;
        UINT height = 0;
        bool opaque = false;
        std::uint64_t presentNs = 0; // the clock when it was presented
    };
    GlContext& context_;
    std::array<Slot, 3> ring_{};
    std::size_t first_ = 0;
    std::size_t queued_ = 0;
};

// Copies the colour framebuffer `source` (width x height in `format`) into
// argb as readBack (d3d9ext.h) describes it.
HRESULT readPixels(GLuint source, UINT width, UINT height, D3DFORMAT format, std::vector<D3DCOLOR>& argb);

} // namespace platform::d3d9
