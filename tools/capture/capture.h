// The capture: the show run unchanged in virtual mode, its presented frames
// and its sound written to files.
#pragma once

#include "app/dxmain.h"
#include "tools/capture/options.h"

#include <string>

namespace capture {

// Makes the output folder and sends standard error (the show's debug log) to
// riza3v.log there; fills the size and rate left open from the renderer (on a
// software one saying so, with `command`, the tool as it was called, for the
// full size); prepares the output, answers the setup dialog with the size
// (windowed), runs `show` through the entry point and writes what was
// asked. Returns the exit status (0 done, 1 failed, 2 an empty range), or
// ends the process itself with it: at the last kept frame, or when the show
// ends the process.
int runCapture(Options options, const std::string& command, app::ShowFunction show);

} // namespace capture
