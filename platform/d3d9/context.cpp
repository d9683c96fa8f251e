#include "platform/d3d9/context.h"

#include "platform/d3d9/d3d9ext.h"
#include "platform/d3d9/gl.h"
#include "platform/win32/windowhost.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL.h>

namespace platform::d3d9 {
namespace {

// The context current on this thread, so that switching costs nothing when
// it is already in place.
thread_local GlContext* currentContext = nullptr;

void* eglProc(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}
void* sdlProc(const char* name) {
    return SDL_GL_GetProcAddress(name);
}

class EglContext final : public GlContext {
  public:
    EglContext(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
    ~EglContext() override {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
        if (currentContext == this) {
            currentContext = nullptr;
        }
    }
    void makeCurrent() override {
        if (currentContext != this) {
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
            currentContext = this;
        }
    }
    void windowSize(int& width, int& height) override { width = height = 0; }
    void swap() override {}
    bool hasWindow() const override { return false; }

  private:
    EGLDisplay display_;
    EGLContext context_;
};

class SdlContext final : public GlContext {
  public:
    SdlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
    ~SdlContext() override {
        SDL_GL_DeleteContext(context_);
        if (currentContext == this) {
            currentContext = nullptr;
        }
    }
    void makeCurrent() override {
        // SDL itself may make a context of its own current (a window surface
        // backed by a GL renderer does), so ask SDL rather than trust the cache.
        if (currentContext != this || SDL_GL_GetCurrentContext() != context_) {
            SDL_GL_MakeCurrent(window_, context_);
            currentContext = this;
        }
    }
    void windowSize(int& width, int& height) override { SDL_GL_GetDrawableSize(window_, &width, &height); }
    void swap() override { SDL_GL_SwapWindow(window_); }
    bool hasWindow() const override { return true; }

  private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

// The surfaceless display is made once per process and kept: Mesa's EGL
// display is cheap to keep and costly to tear down and bring back.
EGLDisplay surfacelessDisplay(std::string& error) {
    static EGLDisplay display = EGL_NO_DISPLAY;
    if (display != EGL_NO_DISPLAY) {
        return display;
    }
    EGLDisplay d = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    if (d == EGL_NO_DISPLAY || eglInitialize(d, &major, &minor) != EGL_TRUE) {
        error = "no EGL surfaceless display (is Mesa's EGL installed?)";
        return EGL_NO_DISPLAY;
    }
    display = d;
    return display;
}

std::unique_ptr<GlContext> createEgl(std::string& error) {
    EGLDisplay display = surfacelessDisplay(error);
    if (display == EGL_NO_DISPLAY) {
        return nullptr;
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        error = "EGL cannot bind desktop OpenGL";
        return nullptr;
    }
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    // EGL_KHR_no_config_context: the context renders only into framebuffer objects.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        error = "EGL cannot create an OpenGL 3.3 core context";
        return nullptr;
    }
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
        eglDestroyContext(display, context);
        error = "EGL cannot make the surfaceless context current";
        return nullptr;
    }
    const char* missing = "";
    if (!gl::load(eglProc, gl::Api::desktop33, &missing)) {
        eglDestroyContext(display, context);
        error = std::string("missing GL entry point ") + missing;
        return nullptr;
    }
    auto made = std::make_unique<EglContext>(display, context);
    currentContext = made.get();
    return made;
}

std::unique_ptr<GlContext> createSdl(HWND window, const PresentMode& mode, std::string& error) {
    SDL_Window* sdlWindow = platform::sdlWindowFor(window);
    if (sdlWindow == nullptr) {
        error = "the device window has no SDL window";
        return nullptr;
    }
    if (mode.fullScreen) {
        // A full-screen device owns the display in the mode it was made for.
        SDL_DisplayMode display{SDL_PIXELFORMAT_RGB888, mode.width, mode.height, mode.refreshRate, nullptr};
        if (SDL_SetWindowDisplayMode(sdlWindow, &display) != 0 ||
            SDL_SetWindowFullscreen(sdlWindow, SDL_WINDOW_FULLSCREEN) != 0) {
            error = std::string("the window cannot go full screen: ") + SDL_GetError();
            return nullptr;
        }
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GLContext context = SDL_GL_CreateContext(sdlWindow);
    if (context == nullptr) {
        error = std::string("SDL cannot create an OpenGL 3.3 core context: ") + SDL_GetError();
        return nullptr;
    }
    SDL_GL_MakeCurrent(sdlWindow, context);
    SDL_GL_SetSwapInterval(mode.vsync ? 1 : 0);
    const char* missing = "";
    if (!gl::load(sdlProc, gl::Api::desktop33, &missing)) {
        SDL_GL_DeleteContext(context);
        error = std::string("missing GL entry point ") + missing;
        return nullptr;
    }
    auto made = std::make_unique<SdlContext>(sdlWindow, context);
    currentContext = made.get();
    return made;
}

} // namespace

std::unique_ptr<GlContext> createGlContext(bool live, HWND window, const PresentMode& mode, std::string& error) {
    return live ? createSdl(window, mode, error) : createEgl(error);
}

std::string virtualRendererName() {
    std::string error;
    const std::unique_ptr<GlContext> context = createEgl(error);
    const GLubyte* name = context != nullptr ? gl::GetString(GL_RENDERER) : nullptr;
    return name != nullptr ? reinterpret_cast<const char*>(name) : "";
}

} // namespace platform::d3d9
