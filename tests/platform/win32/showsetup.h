// The show's own setup dialog procedure (dx/dxbase.h) on the real template,
// answering a mock Direct3D object with two adapters and a fixed list of
// display modes, so that tests drive the dialog manager with what the show
// runs. Every message reaches the show's procedure; on the way the OK
// commands it gets are counted.
#pragma once

#include "platform/win32/dialog.h"
#include "tests/dx/fakedevice.h"

#include <string>
#include <vector>

namespace platform::win32::test::showsetup {

// Makes the show's main window on the first call, puts the mock in the place
// of the show's Direct3D object with the modes below, and clears the show's
// mode table, its device and the count of OK presses. The settings are those the show
// runs the dialog with.
void prepare();

// The mock the procedure talks to: adapters "1. llvmpipe (LLVM 15.0.6, 256
// bits) [14]" and "2. Second Adapter 9000 [14]"; modes 640x480 at 60 and 75
// Hz, 800x600 at 60, 100 and 75, 1024x768, 1280x960, 1280x1024, 1600x1200,
// 1920x1080, 1920x1200 and 2560x1440 at 60 Hz, all X8R8G8B8.
dx::test::Direct3D& direct3D();
// The OK commands the show's procedure got since prepare().
int& okPresses();

// The texts of a list box's rows, top down.
std::vector<std::string> rows(HWND dialog, int list);

// Runs the setup template with the show's procedure; DialogBoxParamA's result.
// Cancel comes out as the show's qtv_d3d::quitException.
INT_PTR run();

} // namespace platform::win32::test::showsetup
