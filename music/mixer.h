// The software mixer: 64 voices resampled by linear interpolation at 32.32
// fixed-point steps, with per-side gains that ramp over a short time whenever
// they change, forward and ping-pong loops, and the rounding of the float mix
// into 16-bit PCM.
//
// All of it runs on the one thread that fills audio blocks; the player sets
// the voices between blocks of ticks.
#pragma once

#include "music/module.h"

#include <cstdint>

namespace music {

inline constexpr int kVoiceCount = 64;

struct Voice {
    std::int32_t index;
    std::int32_t frequency; // Hz
    std::int32_t volume;    // 0..127
    std::int32_t panning;   // 0..255
    std::uint32_t startOffset;
    const Sample* sample;  // null: silent, skipped
    std::int32_t leftGain; // target gains 0..255
    std::int32_t rightGain;
    std::uint32_t position;
    std::uint32_t fraction; // units of 2^-32
    std::uint32_t stepFraction;
    std::uint32_t stepInteger;
    std::int32_t direction; // kForward or kBackward
    std::int32_t rampTargetLeft;
    std::int32_t rampTargetRight;
    std::int32_t rampLeft; // gain x 256
    std::int32_t rampRight;
    float rampStepLeft; // per frame, 255 = 1.0
    float rampStepRight;
    std::int32_t rampFramesLeft;
};

inline constexpr std::int32_t kForward = 1;
inline constexpr std::int32_t kBackward = 2;

extern Voice voices[kVoiceCount];

// Sets the output rate and the ramp length (128 frames at 44,100 Hz), and
// zeroes all voices, each then holding its own index and a step of 1.0.
void prepareMixer(int rate);
int outputRate();
int rampLength();

// Adds every voice that has a sample into frames of interleaved float stereo.
void mixBlock(float* buffer, int frames);
// Rounds (ties to even) and clips frames x 2 floats to 16-bit values.
void convertToPcm16(std::int16_t* destination, const float* source, int frames);

} // namespace music
