// The capture: the show run unchanged in virtual mode, its presented frames
// and its sound written to files.
#pragma once

#include "tools/capture/options.h"

namespace capture {

// Checks and prepares the output, answers the setup dialog with the chosen
// size (windowed), runs the show through its entry point and writes what was
// asked. Returns the exit status (0 done, 1 failed), or ends the process
// itself with it: at the last kept frame, or when the show ends the process.
int runCapture(const Options& options);

} // namespace capture
