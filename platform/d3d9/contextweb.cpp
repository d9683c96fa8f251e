// The browser's GL context: WebGL 2 on the page's canvas, through Emscripten's
// HTML5 API, for both run modes (a virtual run in a page draws into the
// canvas as well and reads back from its framebuffer objects). The layer's
// programs are compiled in GLSL ES 3.00.
#include "platform/d3d9/context.h"

#include "platform/d3d9/d3d9ext.h"
#include "platform/d3d9/gl.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

namespace platform::d3d9 {
namespace {

constexpr char kCanvas[] = "#canvas";

// WebGL 2's getBufferSubData, which Emscripten provides but does not list
// among the functions its proc-address call knows.
extern "C" void glGetBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, void* data);

// Returns to the browser for at least one of its frames (in a hidden tab,
// which draws none, for one round of its other tasks), and until the GPU has
// finished the frame before the one just presented. WebGL calls only queue
// commands for the browser's GPU process; without the wait a slow GPU (a
// software one) falls behind by many seconds, the picture lags the song, and
// anything that reads the canvas waits for all of it. Two frames in flight
// let the show build a frame while the GPU draws the last one. The page can
// read the number of frames presented so far as Module.riza3vFramesPresented.
EM_ASYNC_JS(void, waitForBrowserFrame, (), {
    Module['riza3vFramesPresented'] = (Module['riza3vFramesPresented'] || 0) + 1;
    var gl = GLctx;
    var previous = Module['riza3vFrameFence'];
    Module['riza3vFrameFence'] = {gl : gl, fence : gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0)};
    gl.flush();
    for (;;) {
        await new Promise(function(resume) {
            if (document.hidden) {
                setTimeout(resume, 0);
            } else {
                requestAnimationFrame(function() { resume(); });
            }
        });
        if (!previous || previous.gl != gl || gl.clientWaitSync(previous.fence, 0, 0) != gl.TIMEOUT_EXPIRED) {
            break;
        }
    }
    if (previous && previous.gl == gl) {
        gl.deleteSync(previous.fence);
    }
});

void* webglProc(const char* name) {
    if (std::strcmp(name, "glGetBufferSubData") == 0) {
        return reinterpret_cast<void*>(&glGetBufferSubData);
    }
    return emscripten_webgl_get_proc_address(name);
}

class WebGlContext final : public GlContext {
  public:
    WebGlContext(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context, bool live) : context_(context), live_(live) {}
    ~WebGlContext() override { emscripten_webgl_destroy_context(context_); }
    void makeCurrent() override {
        if (emscripten_webgl_get_current_context() != context_) {
            emscripten_webgl_make_context_current(context_);
        }
    }
    void windowSize(int& width, int& height) override {
        width = height = 0;
        if (live_) {
            emscripten_webgl_get_drawing_buffer_size(context_, &width, &height);
        }
    }
    // The browser shows the canvas when control returns to it.
    void swap() override {}
    // A present returns to the browser (through Asyncify): it draws the
    // canvas, runs input and timers, and the page stays responsive whether or
    // not the show ever sleeps (full screen and virtual runs do not). Live,
    // each frame waits for the browser's next frame and for the GPU, which
    // paces the show to what the GPU keeps up with; a virtual run, which
    // shows nothing and reads every frame back anyway, returns (a zero sleep)
    // only every kVirtualYieldMs of wall time, as each return costs more than
    // drawing a small frame.
    void framePresented() override {
        if (live_) {
            waitForBrowserFrame();
            return;
        }
        const double now = emscripten_get_now();
        if (now - lastYieldMs_ >= kVirtualYieldMs) {
            emscripten_sleep(0);
            lastYieldMs_ = emscripten_get_now();
        }
    }
    bool hasWindow() const override { return live_; }
    GlslDialect glslDialect() const override { return GlslDialect::es300; }

  private:
    static constexpr double kVirtualYieldMs = 100.0;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context_;
    bool live_;
    double lastYieldMs_ = 0.0;
};

} // namespace

std::unique_ptr<GlContext> createGlContext(bool live, HWND window, const PresentMode& mode, std::string& error) {
    (void)window; // the page has one canvas
    (void)mode;   // the browser owns full screen and the display rate
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // The layer draws into framebuffer objects with depth and stencil of their
    // own; the canvas only receives the finished back buffer.
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.alpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0) {
        error = "the browser gives no WebGL 2 context on " + std::string(kCanvas);
        return nullptr;
    }
    emscripten_webgl_make_context_current(context);
    const char* missing = "";
    if (!gl::load(webglProc, gl::Api::es30, &missing)) {
        emscripten_webgl_destroy_context(context);
        error = std::string("missing WebGL 2 entry point ") + missing;
        return nullptr;
    }
    return std::make_unique<WebGlContext>(context, live);
}

std::string virtualRendererName() {
    std::string error;
    const std::unique_ptr<GlContext> context = createGlContext(false, nullptr, PresentMode{}, error);
    const GLubyte* name = context != nullptr ? gl::GetString(GL_RENDERER) : nullptr;
    return name != nullptr ? reinterpret_cast<const char*>(name) : "";
}

} // namespace platform::d3d9
