// Input without a person: what tests and the capture tool use to act on the
// windows and dialogs of this layer exactly as a person would.
//
// The simulate* calls feed the same translation that live SDL events go
// through, at once: a key press reaches GetAsyncKeyState and the message queue
// (WM_KEYDOWN with the virtual-key code), a close request posts WM_CLOSE.
//
// The scripted user answers modal dialogs. Actions are queued before (or
// while) DialogBoxParamA runs and are played one per turn of the dialog's
// loop, in order, against the dialog on top, through the same handling as
// mouse and keyboard: choosing a list row selects it and sends LBN_SELCHANGE
// (the list must have LBS_NOTIFY), clicking a button sends BN_CLICKED (an
// automatic check box toggles first), a disabled control ignores the action.
// The queue is played in live mode too (after the dialog is shown), so the
// same script drives a dialog on a display. In virtual mode, when the queue is
// empty and the dialog is still open, the user presses Escape once; if the
// dialog still stays open, DialogBoxParamA gives up and returns -1.
// An action that names a missing control or row counts as a failure, logs a
// line and is skipped.
#pragma once

#include "platform/kernel/windef.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::win32 {

void simulateKeyDown(int virtualKey);
void simulateKeyUp(int virtualKey);
// The frame's close box of a top-level window was clicked.
void simulateClose(HWND window);

// A picture of a window as this layer draws it: 0xAARRGGBB, rows top down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Draws a dialog (frame, caption and controls) into a picture, in either run
// mode. Returns false for a handle that is not a dialog.
bool paintDialog(HWND dialog, Picture& picture);

namespace script {

// Selects row `row` (from 0) of list box `controlId`, as a click on it does.
void chooseRow(int controlId, int row);
// Selects the first row whose text equals `text` exactly.
void chooseRowText(int controlId, const std::string& text);
// Clicks push button or check box `controlId`.
void click(int controlId);
// A key pressed and released while the dialog has the focus (VK_TAB,
// VK_RETURN, VK_ESCAPE, VK_SPACE, VK_UP, VK_DOWN, ...); Shift+Tab is
// pressKey(VK_TAB, true).
void pressKey(int virtualKey, bool shift = false);
// The dialog frame's close box.
void closeFrame();
// Runs code with the dialog's handle at this point of the script (to look at
// the dialog or take its picture).
void call(std::function<void(HWND dialog)> action);

// Forgets queued actions and the failure count.
void clear();
std::size_t pending();
// Actions since the last clear() that found no dialog, control or row.
int failures();

} // namespace script
} // namespace platform::win32
