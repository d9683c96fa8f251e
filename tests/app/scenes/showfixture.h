// The show built on the headless device, for tests that draw single scenes
// and read back what they show.
#pragma once

#include "app/show.h"
#include "tests/effects/headless.h"

#include <gtest/gtest.h>

// Declares `show`, the built show; without a headless device the test is
// skipped, or fails where one is required (effects::test::deviceRequired).
#define SHOW_OR_SKIP()                                                                                                 \
    app::Show* show = app::scenes::test::builtShow();                                                                  \
    if (show == nullptr) {                                                                                             \
        if (effects::test::deviceRequired()) {                                                                         \
            FAIL() << "no headless device, and one is required here";                                                  \
        }                                                                                                              \
        GTEST_SKIP() << "no headless device";                                                                          \
    }

namespace app::scenes::test {

inline constexpr UINT kWidth = 160;
inline constexpr UINT kHeight = 120;

// The back buffer size of the show builtShow makes; kWidth x kHeight unless
// asked otherwise before the first builtShow call.
void useShowSize(UINT width, UINT height);

// Everything start-up makes, on the chosen back buffer size; made on the
// first call, shared afterwards. Null when no headless device can be made.
Show* builtShow();

// The states a scene starts from in the frame loop: what the previous frame
// ended with (blending off, depth test on, counter-clockwise culling), then
// P1 on stage 0.
void startFrame(Show& show);

// Draws scene `part` at time t with the flash value, as the frame loop does
// before the beat bars, and reads the back buffer.
effects::test::Picture drawScene(int part, float t, float flash, const char* name);

} // namespace app::scenes::test
