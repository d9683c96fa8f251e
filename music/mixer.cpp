// Mixer. Each voice is rendered in runs whose length is known before the run
// starts: the frames to the end of the sample or loop and the frames left in
// the gain ramp are counted in advance, so the frame loop itself only
// interpolates, scales and adds.

#include "music/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace music {

Voice voices[kVoiceCount];

namespace {

int rate = 44100;
int rampFrames = 128;
float rampReciprocal = 1.0f / 128.0f;

constexpr float kFractionScale = 1.0f / 2147483648.0f; // 2^-31

inline float interpolate(const std::int16_t* data, std::uint64_t p) {
    const auto i = static_cast<std::uint32_t>(p >> 32);
    const auto f = static_cast<std::uint32_t>(p);
    const float a = data[i];
    const float b = data[i + 1];
    // f >> 1 fits a signed 32-bit value, whose conversion to float is the cheap one.
    return a + (b - a) * static_cast<float>(static_cast<std::int32_t>(f >> 1)) * kFractionScale;
}

// Steady gains: two frames per pass.
std::uint64_t renderSteady(float* out, int frames, const std::int16_t* data, std::uint64_t p, std::int64_t step,
                           float gl, float gr) {
    int k = 0;
    for (; k + 1 < frames; k += 2) {
        const float s0 = interpolate(data, p);
        p += static_cast<std::uint64_t>(step);
        const float s1 = interpolate(data, p);
        p += static_cast<std::uint64_t>(step);
        out[0] += s0 * gl;
        out[1] += s0 * gr;
        out[2] += s1 * gl;
        out[3] += s1 * gr;
        out += 4;
    }
    if (k < frames) {
        const float s = interpolate(data, p);
        p += static_cast<std::uint64_t>(step);
        out[0] += s * gl;
        out[1] += s * gr;
    }
    return p;
}

std::uint64_t renderRamp(float* out, int frames, const std::int16_t* data, std::uint64_t p, std::int64_t step,
                         float& gl, float& gr, float stepLeft, float stepRight) {
    for (int k = 0; k < frames; ++k) {
        const float s = interpolate(data, p);
        p += static_cast<std::uint64_t>(step);
        out[0] += s * gl;
        out[1] += s * gr;
        out += 2;
        gl += stepLeft;
        gr += stepRight;
    }
    return p;
}

// Starts a new ramp where a target gain moved; returns the ramp's frame count (0: none).
int setUpRamp(Voice& v) {
    v.rampTargetLeft = v.leftGain;
    v.rampTargetRight = v.rightGain;
    int count = 0;
    const int dl = v.leftGain - (v.rampLeft >> 8);
    const int dr = v.rightGain - (v.rampRight >> 8);
    v.rampStepLeft = 0.0f;
    v.rampStepRight = 0.0f;
    if (dl != 0) {
        v.rampStepLeft = static_cast<float>(dl) / 255.0f * rampReciprocal;
        count = rampFrames;
    }
    if (dr != 0) {
        v.rampStepRight = static_cast<float>(dr) / 255.0f * rampReciprocal;
        count = rampFrames;
    }
    v.rampFramesLeft = count;
    return count;
}

// Handles the end of the sample or loop; false when the voice stopped.
// Ping-pong positions reflect at the loop's ends (x -> 2E - x - 2^-32 at the
// end, x -> 2L - x - 2^-32 at the start); a position that overshot by more
// than the loop's length starts the loop over instead.
bool passEnd(Voice& v, std::uint64_t& p) {
    const Sample& s = *v.sample;
    const std::uint64_t loopStart = static_cast<std::uint64_t>(s.loopStart) << 32;
    const std::uint64_t loopEnd = static_cast<std::uint64_t>(s.loopStart + s.loopLength) << 32;
    const std::uint64_t loopSpan = loopEnd - loopStart;
    if ((s.loopMode & kLoopPingPong) != 0) {
        if (v.direction == kBackward) {
            // Modular arithmetic: also right when p went below 0 on the way down.
            p = 2 * loopStart - p - 1;
            v.direction = kForward;
        }
        while (p >= loopEnd || p < loopStart) {
            if (p >= loopEnd) {
                if (p - loopEnd >= loopSpan) {
                    p = loopStart;
                    v.direction = kForward;
                    break;
                }
                p = 2 * loopEnd - p - 1;
                v.direction = kBackward;
            } else {
                if (loopStart - p > loopSpan) {
                    p = loopStart;
                    v.direction = kForward;
                    break;
                }
                p = 2 * loopStart - p - 1;
                v.direction = kForward;
            }
        }
        return true;
    }
    if ((s.loopMode & kLoopForward) != 0) {
        if (p >= loopEnd) {
            p = loopStart + (p - loopStart) % loopSpan;
        }
        return true;
    }
    v.sample = nullptr;
    v.position = 0;
    v.fraction = 0;
    return false;
}

void mixVoice(Voice& v, float* buffer, int frames) {
    std::uint64_t p = (static_cast<std::uint64_t>(v.position) << 32) | v.fraction;
    const std::uint64_t step = (static_cast<std::uint64_t>(v.stepInteger) << 32) | v.stepFraction;
    int remaining = frames;
    float* out = buffer;
    while (remaining > 0) {
        const Sample& s = *v.sample;
        const std::uint64_t loopStart = static_cast<std::uint64_t>(s.loopStart) << 32;
        const std::uint64_t loopEnd = static_cast<std::uint64_t>(s.loopStart + s.loopLength) << 32;
        int run = remaining;
        bool endReached = false;
        const bool forward = v.direction != kBackward;
        // A position at or past the end (going forward) or before the loop
        // start (going back) has reached its end now.
        if ((forward && p >= loopEnd) || (!forward && p < loopStart)) {
            run = 0;
            endReached = true;
        } else {
            const std::uint64_t distance = forward ? loopEnd - p : p - loopStart;
            // Exact 64-bit division: a count one frame too long would read past the data.
            if (step != 0 && (distance >> 32) < (std::uint64_t{1} << 24)) {
                const std::uint64_t n = (distance + step - 1) / step;
                if (n <= static_cast<std::uint64_t>(run)) {
                    run = static_cast<int>(n);
                    endReached = true;
                }
            }
        }

        bool ramping = false;
        bool rampLimited = false;
        if (v.rampFramesLeft != 0 && v.leftGain == v.rampTargetLeft && v.rightGain == v.rampTargetRight) {
            ramping = true;
        } else {
            ramping = setUpRamp(v) > 0;
        }
        if (ramping && v.rampFramesLeft < run) {
            run = v.rampFramesLeft;
            rampLimited = true;
            endReached = false;
        }

        const std::int64_t signedStep = forward ? static_cast<std::int64_t>(step) : -static_cast<std::int64_t>(step);
        if (ramping) {
            float gl = static_cast<float>(v.rampLeft) / 256.0f / 255.0f;
            float gr = static_cast<float>(v.rampRight) / 256.0f / 255.0f;
            p = renderRamp(out, run, s.data, p, signedStep, gl, gr, v.rampStepLeft, v.rampStepRight);
            v.rampLeft = static_cast<std::int32_t>(std::lround(gl * 255.0f * 256.0f));
            v.rampRight = static_cast<std::int32_t>(std::lround(gr * 255.0f * 256.0f));
            v.rampFramesLeft -= run;
            if (v.rampFramesLeft == 0) {
                v.rampStepLeft = 0.0f;
                v.rampStepRight = 0.0f;
                v.rampLeft = v.leftGain * 256;
                v.rampRight = v.rightGain * 256;
            }
        } else if (v.leftGain == 0 && v.rightGain == 0) {
            // Silent (a voice that has ramped out): it would add only zeros,
            // so only its position moves on.
            p += static_cast<std::uint64_t>(signedStep) * static_cast<std::uint64_t>(run);
        } else {
            p = renderSteady(out, run, s.data, p, signedStep, static_cast<float>(v.leftGain) / 255.0f,
                             static_cast<float>(v.rightGain) / 255.0f);
        }
        out += 2 * run;
        remaining -= run;
        if (rampLimited || !endReached) {
            continue;
        }
        if (!passEnd(v, p)) {
            return;
        }
    }
    v.position = static_cast<std::uint32_t>(p >> 32);
    v.fraction = static_cast<std::uint32_t>(p);
}

} // namespace

void prepareMixer(int outputRateHz) {
    rate = outputRateHz;
    rampFrames = std::max(1, static_cast<int>(static_cast<std::int64_t>(rate) * 128 / 44100));
    rampReciprocal = 1.0f / static_cast<float>(rampFrames);
    std::memset(static_cast<void*>(voices), 0, sizeof voices);
    for (int i = 0; i < kVoiceCount; ++i) {
        voices[i].index = i;
        voices[i].stepInteger = 1;
        voices[i].direction = kForward;
    }
}

int outputRate() {
    return rate;
}
int rampLength() {
    return rampFrames;
}

void mixBlock(float* buffer, int frames) {
    if (frames <= 0 || buffer == nullptr) {
        return;
    }
    for (Voice& v : voices) {
        if (v.sample != nullptr && v.sample->data != nullptr) {
            mixVoice(v, buffer, frames);
        }
    }
}

void convertToPcm16(std::int16_t* destination, const float* source, int frames) {
    if (frames < 1 || destination == nullptr || source == nullptr) {
        return;
    }
    // The default floating-point rounding mode rounds ties to even.
    for (int i = 0; i < frames * 2; ++i) {
        const float clipped = std::clamp(source[i], -32768.0f, 32767.0f);
        destination[i] = static_cast<std::int16_t>(std::nearbyint(clipped));
    }
}

} // namespace music
