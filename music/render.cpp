#include "music/render.h"

#include "music/mixer.h"
#include "music/player.h"

#include <algorithm>

namespace music {

void prepareRender(Module* module, int rate) {
    prepareMixer(rate);
    resetPlayback(module);
}

void renderFrames(Module* module, float* mix, int frames) {
    int done = 0;
    int left = module->samplesLeftInTick;
    while (done < frames) {
        if (left == 0) {
            module->tickHandler(module);
            // Read after the tick, so a tempo change applies at once.
            left = module->samplesPerTick;
        }
        const int n = std::min(left, frames - done);
        mixBlock(mix + 2 * done, n);
        done += n;
        left -= n;
    }
    module->samplesLeftInTick = left;
}

} // namespace music
