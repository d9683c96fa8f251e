// The browser side of the user-interface layer (in place of sdlhost.cpp):
// the page's canvas for the show's window, a 2D canvas of its own for each
// dialog, shown centred over it, and DOM keyboard and mouse events turned
// into messages and dialog input. The window record keeps the name the rest
// of the layer knows it by (SDL_Window), defined here as a canvas.
//
// DOM events arrive between the module's turns (while a fiber sleeps); they
// are queued and handed to the layer by pumpEvents, as SDL's are.
#include "platform/win32/canvashost.h"
#include "platform/kernel/kernel.h"
#include "platform/win32/script.h"
#include "platform/win32/userstate.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <string>
#include <vector>

struct SDL_Window {
    std::string selector; // "#canvas" or "#riza3v-dialog-N"
    bool openGl = false;
    bool visible = false;
};

namespace platform::win32::user {

namespace {

struct InputEvent {
    enum class Kind { key, mouse, close } kind;
    SDL_Window* window; // mouse: the dialog canvas clicked
    int virtualKey = 0;
    bool down = false;
    bool repeat = false;
    int x = 0;
    int y = 0;
};

std::vector<InputEvent>& pending() {
    static std::vector<InputEvent> events;
    return events;
}

std::vector<SDL_Window*>& canvases() {
    static std::vector<SDL_Window*> list;
    return list;
}

// The window keys go to: the last shown dialog, else the show's window.
SDL_Window* keyTarget() {
    SDL_Window* target = nullptr;
    for (SDL_Window* w : canvases()) {
        if (w->visible && (target == nullptr || !w->openGl)) {
            target = w;
        }
    }
    return target;
}

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void*) {
    const int vk = virtualKeyFromSdl(static_cast<int>(e->keyCode));
    if (vk == 0) {
        return EM_FALSE;
    }
    pending().push_back(
        InputEvent{InputEvent::Kind::key, nullptr, vk, type == EMSCRIPTEN_EVENT_KEYDOWN, e->repeat != 0, 0, 0});
    return EM_TRUE; // the page does not scroll on Space
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void* data) {
    if (e->button != 0) {
        return EM_FALSE;
    }
    pending().push_back(InputEvent{InputEvent::Kind::mouse, static_cast<SDL_Window*>(data), 0,
                                   type == EMSCRIPTEN_EVENT_MOUSEDOWN, false, static_cast<int>(e->targetX),
                                   static_cast<int>(e->targetY)});
    return EM_TRUE;
}

EM_JS(int, riza3vHasDocument, (), { return typeof document != 'undefined' && !!document.getElementById('canvas'); });

// A dialog's canvas, hidden, above the page's canvas and centred on it.
EM_JS(void, riza3vMakeDialogCanvas, (const char* id, int width, int height), {
    var canvas = document.createElement('canvas');
    canvas.id = UTF8ToString(id);
    canvas.width = width;
    canvas.height = height;
    canvas.style.cssText = 'position:fixed;left:50%;top:50%;transform:translate(-50%,-50%);display:none;z-index:2';
    document.body.appendChild(canvas);
});

EM_JS(void, riza3vRemoveCanvas, (const char* selector), {
    var canvas = document.querySelector(UTF8ToString(selector));
    if (canvas && canvas.id != 'canvas') {
        canvas.remove();
    }
});

EM_JS(void, riza3vShowCanvas, (const char* selector, int show), {
    var canvas = document.querySelector(UTF8ToString(selector));
    if (canvas) {
        canvas.style.display = show ? "" : "none";
        if (show && Module['riza3vCanvasShown']) {
            Module['riza3vCanvasShown'](canvas);
        }
    }
});

EM_JS(void, riza3vSizeCanvas, (const char* selector, int width, int height), {
    var canvas = document.querySelector(UTF8ToString(selector));
    if (canvas) {
        canvas.width = width;
        canvas.height = height;
    }
});

// ARGB8888 words (little-endian: B, G, R, A bytes) to the canvas's RGBA.
EM_JS(void, riza3vPutPixels, (const char* selector, const void* pixels, int width, int height), {
    var canvas = document.querySelector(UTF8ToString(selector));
    if (!canvas) {
        return;
    }
    var image = new ImageData(width, height);
    var source = HEAPU8.subarray(pixels, pixels + width * height * 4);
    var out = image.data;
    for (var i = 0; i < out.length; i += 4) {
        out[i] = source[i + 2];
        out[i + 1] = source[i + 1];
        out[i + 2] = source[i];
        out[i + 3] = 255;
    }
    canvas.getContext('2d').putImageData(image, 0, 0);
});

EM_JS(void, riza3vCursor, (int show), {
    var canvas = document.getElementById('canvas');
    if (canvas) {
        canvas.style.cursor = show ? "" : "none";
    }
});

EM_JS(int, riza3vViewportWidth, (), { return window.innerWidth; });
EM_JS(int, riza3vViewportHeight, (), { return window.innerHeight; });

} // namespace

// DOM keyCode values are the platform's virtual-key codes for the keys the
// show and its dialogs use (letters, digits, F1-F12, Escape, Enter, Space,
// Tab, Backspace, arrows, Home, End, Page Up/Down, Delete, Shift, Ctrl, Alt).
int virtualKeyFromSdl(int key) {
    const bool letter = key >= 'A' && key <= 'Z';
    const bool digit = key >= '0' && key <= '9';
    const bool function = key >= VK_F1 && key < VK_F1 + 12;
    switch (key) {
    case VK_ESCAPE:
    case VK_RETURN:
    case VK_SPACE:
    case VK_TAB:
    case VK_BACK:
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_DELETE:
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
        return key;
    default:
        return letter || digit || function ? key : 0;
    }
}

bool sdlReady() {
    static const bool ready = [] {
        if (riza3vHasDocument() == 0) {
            return false; // Node.js, or a page without the show's canvas
        }
        emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
        emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
        return true;
    }();
    return ready;
}

SDL_Window* sdlCreate(const char*, int, int, int width, int height, bool openGl) {
    auto* w = new SDL_Window;
    w->openGl = openGl;
    if (openGl) {
        w->selector = "#canvas";
    } else {
        static int nextDialog = 1;
        const std::string id = "riza3v-dialog-" + std::to_string(nextDialog++);
        w->selector = "#" + id;
        riza3vMakeDialogCanvas(id.c_str(), width, height);
        emscripten_set_mousedown_callback(w->selector.c_str(), w, EM_FALSE, onMouse);
        emscripten_set_mouseup_callback(w->selector.c_str(), w, EM_FALSE, onMouse);
    }
    riza3vSizeCanvas(w->selector.c_str(), width, height);
    canvases().push_back(w);
    return w;
}

void sdlDestroy(SDL_Window* window) {
    if (!window->openGl) {
        emscripten_set_mousedown_callback(window->selector.c_str(), nullptr, EM_FALSE, nullptr);
        emscripten_set_mouseup_callback(window->selector.c_str(), nullptr, EM_FALSE, nullptr);
    }
    riza3vShowCanvas(window->selector.c_str(), 0);
    riza3vRemoveCanvas(window->selector.c_str());
    std::erase(canvases(), window);
    std::erase_if(pending(), [&](const InputEvent& e) { return e.window == window; });
    delete window;
}

void sdlShow(SDL_Window* window, bool show) {
    window->visible = show;
    riza3vShowCanvas(window->selector.c_str(), show ? 1 : 0);
}

void sdlMove(SDL_Window* window, int, int, int width, int height) {
    riza3vSizeCanvas(window->selector.c_str(), width, height);
}

void sdlSetIcon(SDL_Window*, const IconImage*) {}

void sdlPresent(SDL_Window* window, const platform::win32::Picture& picture) {
    if (!picture.pixels.empty()) {
        riza3vPutPixels(window->selector.c_str(), picture.pixels.data(), picture.width, picture.height);
    }
}

void sdlMakeDialogDraggable(SDL_Window*, HWND) {}

bool sdlWait(int ms) {
    // In steps, through the kernel's Sleep: the show's other threads (fibers)
    // and the browser run meanwhile, and the events come in.
    for (int waited = 0; pending().empty() && waited < ms; waited += 10) {
        Sleep(10);
    }
    return !pending().empty();
}

void sdlScreenSize(int& width, int& height) {
    width = riza3vViewportWidth();
    height = riza3vViewportHeight();
}

void sdlWarpMouse(int, int) {} // pages cannot move the pointer

void sdlShowCursor(bool show) {
    riza3vCursor(show ? 1 : 0);
}

// Called by the page's close button, the stand-in for a window frame's: the
// window in front (a dialog, else the show's) is closed as its frame's close
// box would close it.
extern "C" EMSCRIPTEN_KEEPALIVE void riza3vCloseWindow() {
    pending().push_back(InputEvent{InputEvent::Kind::close, nullptr});
}

void pumpEvents() {
    if (!sdlReady()) {
        return;
    }
    std::vector<InputEvent> events;
    events.swap(pending());
    for (const InputEvent& e : events) {
        if (e.kind == InputEvent::Kind::key) {
            SDL_Window* target = keyTarget();
            keyEvent(e.virtualKey, e.down, e.repeat, target != nullptr ? windowForSdl(target) : nullptr);
        } else if (e.kind == InputEvent::Kind::close) {
            if (SDL_Window* target = keyTarget(); target != nullptr) {
                simulateClose(windowForSdl(target));
            }
        } else if (HWND dialog = windowForSdl(e.window); dialog != nullptr) {
            dialogMouse(dialog, e.x, e.y, e.down);
        }
    }
}

} // namespace platform::win32::user

namespace platform::win32 {

const char* canvasSelectorFor(HWND window) {
    user::Window* w = user::find(window);
    return w != nullptr && w->sdl != nullptr && w->sdl->openGl ? w->sdl->selector.c_str() : nullptr;
}

} // namespace platform::win32

namespace {

void (*pageExitHook)() = nullptr;

EM_JS(int, riza3vCaptureWidth, (), { return Module['riza3vCapture'] ? Module['riza3vCapture'].width : 0; });
EM_JS(int, riza3vCaptureHeight, (), { return Module['riza3vCapture'].height; });
EM_JS(int, riza3vCaptureFps, (), { return Module['riza3vCapture'].fps; });
EM_JS(int, riza3vCaptureTimes, (), { return Module['riza3vCapture'].at.length; });
EM_JS(double, riza3vCaptureTime, (int i), { return Module['riza3vCapture'].at[i]; });
EM_JS(void, riza3vKeepFrame, (double seconds, const std::uint8_t* rgba, int width, int height),
      { Module['riza3vKeepFrame'](seconds, HEAPU8.slice(rgba, rgba + width * height * 4), width, height); });
EM_JS(void, riza3vKeepPcm, (const std::uint8_t* bytes, int length),
      { Module['riza3vKeepPcm'](HEAPU8.slice(bytes, bytes + length)); });

} // namespace

// Called by the page when the program exits.
extern "C" EMSCRIPTEN_KEEPALIVE void riza3vAtExit() {
    if (pageExitHook != nullptr) {
        pageExitHook();
    }
}

namespace platform::win32 {

bool pageCaptureRequest(PageCapture& capture) {
    if (riza3vCaptureWidth() <= 0) {
        return false;
    }
    capture.width = riza3vCaptureWidth();
    capture.height = riza3vCaptureHeight();
    capture.fps = riza3vCaptureFps();
    capture.at.clear();
    for (int i = 0; i < riza3vCaptureTimes(); ++i) {
        capture.at.push_back(riza3vCaptureTime(i));
    }
    return true;
}

void pageKeepFrame(double seconds, const std::uint8_t* rgba, int width, int height) {
    riza3vKeepFrame(seconds, rgba, width, height);
}

void pageKeepPcm(const std::vector<std::uint8_t>& pcm) {
    riza3vKeepPcm(pcm.data(), static_cast<int>(pcm.size()));
}

void setPageExitHook(void (*hook)()) {
    pageExitHook = hook;
}

} // namespace platform::win32
