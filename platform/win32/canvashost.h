// The page around the browser backend: how the graphics layer finds the
// canvas behind a window handle (the counterpart of windowhost.h), and what
// the show's entry asks of the page (index.html) in capture mode.
#pragma once

#include "platform/kernel/windef.h"

#include <cstdint>
#include <vector>

namespace platform::win32 {

// The CSS selector of the canvas that CreateWindowExA made for a top-level
// window ("#canvas", the page's own), or null where the handle has none
// (virtual mode, a dialog, a handle this layer did not make).
const char* canvasSelectorFor(HWND window);

// Capture mode, as the page's address asks for it
// (index.html?capture&width=W&height=H&fps=N&at=S1,S2,...).
struct PageCapture {
    int width = 0;
    int height = 0;
    int fps = 0;
    std::vector<double> at; // show times of the frames to keep, seconds, ascending
};
// False when the page runs the show live (or there is no page).
bool pageCaptureRequest(PageCapture& capture);
// Hands a frame (RGBA rows, top down) to the page as the one for show time `seconds`.
void pageKeepFrame(double seconds, const std::uint8_t* rgba, int width, int height);
// Hands the PCM of the run to the page, which hashes it.
void pageKeepPcm(const std::vector<std::uint8_t>& pcm);
// The page calls hook when the program exits (through exit(), which does not
// run atexit handlers once the program has slept), before it reports the status.
void setPageExitHook(void (*hook)());

} // namespace platform::win32
