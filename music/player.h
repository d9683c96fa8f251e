// The player: steps a Module through its order list one tick at a time,
// starting notes and effects on each row's first tick and running the
// continuing effects, envelopes and fadeouts on the others, then setting
// the mixer voices. It knows nothing of time or devices: whoever renders
// calls the module's tickHandler once every samplesPerTick output frames.
#pragma once

#include "music/module.h"

#include <cstdint>

namespace music {

// Song position and channels back to the start; voices of channel i are i and i + 32.
void resetPlayback(Module* module);
// samplesPerTick = trunc(1000 / (bpm x 0.4) x outputRate x 0.001), at least 1.
void setBpm(Module* module, std::int32_t bpm);
// One tick of the song (the loader installs it as the module's tickHandler).
void playerTick(Module* module);

} // namespace music
