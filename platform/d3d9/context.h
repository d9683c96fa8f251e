// The GL context a device draws with: an EGL surfaceless context (virtual run
// mode, tests) or a context on the device window's SDL window (live). Above
// this, one code path renders into off-screen targets only.
#pragma once

#include "platform/d3d9/glsldialect.h"
#include "platform/kernel/windef.h"

#include <memory>
#include <string>

namespace platform::d3d9 {

class GlContext {
  public:
    virtual ~GlContext() = default;
    virtual void makeCurrent() = 0;
    // The window's drawable size in pixels (0 x 0 without a window).
    virtual void windowSize(int& width, int& height) = 0;
    // Shows the default framebuffer of the window; no-op without one.
    virtual void swap() = 0;
    virtual bool hasWindow() const = 0;
    // A frame was presented, in either run mode. The browser's context hands
    // the tab back to the browser here (its one thread would otherwise stay
    // in the show's frame loop for good); the desktop's have nothing to do.
    virtual void framePresented() {}
    // The GLSL the context compiles; the desktop contexts are 3.3 core.
    virtual GlslDialect glslDialect() const { return GlslDialect::core330; }
};

// How a live context presents: vertical sync, and for full screen the mode
// the window switches to.
struct PresentMode {
    bool vsync = false;
    bool fullScreen = false;
    int width = 0;
    int height = 0;
    int refreshRate = 0;
};

// Makes and loads a 3.3 core context: on the SDL window behind window when
// live is set (switching it to full screen when asked), else surfaceless.
// Null with a reason in error on failure.
std::unique_ptr<GlContext> createGlContext(bool live, HWND window, const PresentMode& mode, std::string& error);

} // namespace platform::d3d9
