// Which way the platform layer runs, chosen once by the hosting executable
// before it calls anything else: live (a real window, the sound device, the
// wall clock) or virtual (no window, an EGL surfaceless context, a sink for
// the sound, the virtual clock of clock.h, dialogs answered by a script).
#pragma once

namespace platform::kernel {

enum class RunMode { live, virtualRun };

void setRunMode(RunMode mode);
RunMode runMode();

} // namespace platform::kernel
