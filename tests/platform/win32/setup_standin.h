// A stand-in for the show's setup dialog procedure: it fills and answers the
// three lists the way the real one does, from a fixed list of display modes,
// and records every notification, so that tests can drive the dialog manager
// with the real template.
#pragma once

#include "platform/win32/dialog.h"

#include <string>
#include <vector>

namespace standin {

struct Mode {
    int width;
    int height;
    int refresh;
};

struct Notification {
    int id;
    int code;
    HWND control;
};

struct CancelPressed {};

struct State {
    std::vector<std::string> adapters{"1. llvmpipe (LLVM 15.0.6, 256 bits) [0]", "2. Second Adapter 9000 [7]"};
    std::vector<Mode> modes{{640, 480, 60}, {640, 480, 75}, {800, 600, 60}, {800, 600, 100}, {800, 600, 75},
                            {1024, 768, 60}, {1280, 960, 60}, {1280, 1024, 60}, {1600, 1200, 60},
                            {1920, 1080, 60}, {1920, 1200, 60}, {2560, 1440, 60}};
    std::vector<Notification> notifications;
    bool fullscreenToggles = false;
    std::string chosenResolution;
    std::string chosenRefresh;
    int okPresses = 0;
};

// The procedure's state; reset it before each run.
State& state();
INT_PTR setupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace standin
