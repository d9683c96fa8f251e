// Rendering a module into float frames without any device: the tick-and-mix
// loop of the block filler, for the output, the WAV tool, tests and benchmarks.
#pragma once

#include "music/module.h"

namespace music {

// Prepares the mixer for the rate and the module for playing from its start.
void prepareRender(Module* module, int rate);
// Adds frames of interleaved float stereo to mix (the caller zeroes it),
// calling the module's tickHandler every samplesPerTick frames.
void renderFrames(Module* module, float* mix, int frames);

} // namespace music
