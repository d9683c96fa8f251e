#include "platform/d3d9/swapchain.h"

#include "platform/d3d9/resources.h"
#include "platform/kernel/clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace platform::d3d9 {
namespace {

// The process-wide state of the present hook, shared by every swap chain.
struct HookState {
    PresentHook hook = nullptr;
    void* user = nullptr;
    std::vector<SwapChain*> chains; // whose frames in flight flushPresentHook delivers
    std::vector<std::uint8_t> scratch;
    // OpenGL ES maps no buffers: the read-back buffer is copied here instead.
    std::vector<std::uint8_t> copied;
    std::uint64_t deliveringNs = 0; // presentNs of the frame the hook is being handed
    bool timing = false;
    ReadBackTimes times;
    std::uint64_t hookNs = 0; // time spent inside the hook while timing
};
HookState hookState;

std::uint64_t steadyNs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// Adds to readBackNs the time since `startNs` that was not spent in the hook.
struct ReadBackSpan {
    ReadBackSpan() : startNs(hookState.timing ? steadyNs() : 0), hookAtStart(hookState.hookNs) {}
    ~ReadBackSpan() {
        if (hookState.timing && startNs != 0) {
            hookState.times.readBackNs += steadyNs() - startNs - (hookState.hookNs - hookAtStart);
        }
    }
    std::uint64_t startNs;
    std::uint64_t hookAtStart;
};

} // namespace

SwapChain::SwapChain(GlContext& context) : context_(context) {
    hookState.chains.push_back(this);
}

SwapChain::~SwapChain() {
    context_.makeCurrent();
    deliver(0);
    for (auto& slot : ring_) {
        gl::DeleteBuffers(1, &slot.buffer);
    }
    auto& chains = hookState.chains;
    chains.erase(std::remove(chains.begin(), chains.end(), this), chains.end());
}

void SwapChain::present(GLuint source, GLint width, GLint height) {
    int w = 0;
    int h = 0;
    context_.windowSize(w, h);
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, source);
    gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl::Disable(GL_SCISSOR_TEST);
    // The back buffer is stored top row first; the window wants the top row last.
    gl::BlitFramebuffer(0, 0, width, height, 0, h, w, 0, GL_COLOR_BUFFER_BIT,
                        (w == width && h == height) ? GL_NEAREST : GL_LINEAR);
    gl::Enable(GL_SCISSOR_TEST);
    context_.swap();
}

void SwapChain::capture(GLuint source, UINT width, UINT height, bool opaque) {
    if (hookState.hook == nullptr) {
        return;
    }
    // The frame's drawing is finished before its pixels are copied out, for
    // the reason readPixels gives; timed, that wait is the GPU's share.
    const std::uint64_t finishStart = hookState.timing ? steadyNs() : 0;
    gl::Finish();
    if (hookState.timing) {
        hookState.times.drawNs += steadyNs() - finishStart;
    }
    const ReadBackSpan span;
    // A full ring hands its oldest frame over before the slot is reused.
    deliver(ring_.size() - 1);
    Slot& slot = ring_[(first_ + queued_) % ring_.size()];
    if (slot.buffer == 0) {
        gl::GenBuffers(1, &slot.buffer);
    }
    slot.width = width;
    slot.height = height;
    slot.opaque = opaque;
    slot.presentNs = platform::kernel::clockNowNs();
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, source);
    gl::BindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    gl::BufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(slot.width) * slot.height * 4, nullptr,
                   GL_STREAM_READ);
    gl::PixelStorei(GL_PACK_ALIGNMENT, 1);
    // Targets are stored top row first, which is the hook's row order.
    gl::ReadPixels(0, 0, static_cast<GLsizei>(slot.width), static_cast<GLsizei>(slot.height), GL_RGBA, GL_UNSIGNED_BYTE,
                   nullptr);
    gl::BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ++queued_;
}

void SwapChain::flush() {
    context_.makeCurrent();
    deliver(0);
}

void SwapChain::deliver(std::size_t keep) {
    while (queued_ > keep) {
        Slot& slot = ring_[first_];
        first_ = (first_ + 1) % ring_.size();
        --queued_;
        const std::size_t bytes = static_cast<std::size_t>(slot.width) * slot.height * 4;
        gl::BindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
        const std::uint8_t* mapped = nullptr;
        if (gl::isDesktop()) {
            mapped = static_cast<const std::uint8_t*>(
                gl::MapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), GL_MAP_READ_BIT));
        } else {
            hookState.copied.resize(bytes);
            gl::GetBufferSubData(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), hookState.copied.data());
            mapped = hookState.copied.data();
        }
        if (mapped == nullptr) {
            logFailure("present hook: mapping a read-back buffer failed, frame dropped");
        } else if (hookState.hook != nullptr) {
            hookState.deliveringNs = slot.presentNs;
            const std::uint8_t* pixels = mapped;
            if (slot.opaque) {
                // Formats without alpha deliver alpha 0xFF, as readBack does.
                hookState.scratch.assign(mapped, mapped + bytes);
                for (std::size_t i = 3; i < bytes; i += 4) {
                    hookState.scratch[i] = 0xFF;
                }
                pixels = hookState.scratch.data();
            }
            const std::uint64_t hookStart = hookState.timing ? steadyNs() : 0;
            hookState.hook(hookState.user, slot.width, slot.height, pixels);
            if (hookState.timing) {
                hookState.hookNs += steadyNs() - hookStart;
            }
        }
        if (mapped != nullptr && gl::isDesktop()) {
            gl::UnmapBuffer(GL_PIXEL_PACK_BUFFER);
        }
        gl::BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
}

HRESULT readPixels(GLuint source, UINT width, UINT height, D3DFORMAT format, std::vector<D3DCOLOR>& argb) {
    argb.assign(static_cast<std::size_t>(width) * height, 0);
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, source);
    gl::PixelStorei(GL_PACK_ALIGNMENT, 1);
    // GL promises that a read sees all drawing issued before it, but Mesa's
    // llvmpipe (22.x) can hand back a target whose last draws its render
    // threads have not finished when the cores are busy; wait for them.
    gl::Finish();
    const auto w = static_cast<GLsizei>(width);
    const auto h = static_cast<GLsizei>(height);
    if (format == D3DFMT_G16R16 && !gl::isDesktop()) {
        // Kept as floats (see colorFormat); ES reads float targets as RGBA.
        std::vector<float> rgba(argb.size() * 4);
        gl::ReadPixels(0, 0, w, h, GL_RGBA, GL_FLOAT, rgba.data());
        const auto to8 = [](float c) {
            return static_cast<DWORD>(std::lround(std::clamp(c, 0.0f, 1.0f) * 65535.0f)) >> 8;
        };
        for (std::size_t i = 0; i < argb.size(); ++i) {
            argb[i] = 0xFF000000u | (to8(rgba[4 * i]) << 16) | (to8(rgba[4 * i + 1]) << 8);
        }
    } else if (format == D3DFMT_G16R16) {
        std::vector<std::uint16_t> rg(argb.size() * 2);
        gl::ReadPixels(0, 0, w, h, GL_RG, GL_UNSIGNED_SHORT, rg.data());
        for (std::size_t i = 0; i < argb.size(); ++i) {
            argb[i] = 0xFF000000u | (static_cast<DWORD>(rg[2 * i] >> 8) << 16) |
                      (static_cast<DWORD>(rg[2 * i + 1] >> 8) << 8);
        }
    } else {
        // Rows come out top row first: targets are stored that way.
        if (gl::isDesktop()) {
            gl::ReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb.data());
        } else {
            // OpenGL ES reads RGBA bytes only.
            std::vector<std::uint8_t> rgba(argb.size() * 4);
            gl::ReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            for (std::size_t i = 0; i < argb.size(); ++i) {
                argb[i] = (static_cast<DWORD>(rgba[4 * i + 3]) << 24) | (static_cast<DWORD>(rgba[4 * i]) << 16) |
                          (static_cast<DWORD>(rgba[4 * i + 1]) << 8) | rgba[4 * i + 2];
            }
        }
        if (colorFormat(format)->alphaIsOne) {
            for (auto& p : argb) {
                p |= 0xFF000000u;
            }
        }
    }
    return gl::GetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

void setPresentHook(PresentHook hook, void* user) {
    hookState.hook = hook;
    hookState.user = user;
}

void timePresentReadBack(bool on) {
    hookState.timing = on;
}

ReadBackTimes presentReadBackTimes() {
    return hookState.times;
}

void flushPresentHook() {
    const ReadBackSpan span;
    for (SwapChain* chain : hookState.chains) {
        chain->flush();
    }
}

std::uint64_t presentedFrameNs() {
    return hookState.deliveringNs;
}

} // namespace platform::d3d9
