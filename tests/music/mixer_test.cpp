// The mixer: interpolation, gains and their ramps, sample ends, forward and
// ping-pong loops, and the conversion to 16-bit PCM.

#include "music/mixer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

using music::Sample;
using music::Voice;
using ::testing::FloatEq;
using ::testing::FloatNear;
using ::testing::Pointwise;

namespace {

// A sample laid out as the loader leaves it: the values, 8 more, zero-filled.
struct OwnedSample {
    std::vector<std::int16_t> data;
    Sample sample{};
    OwnedSample(std::vector<std::int16_t> values, std::uint8_t mode, std::uint32_t loopStart,
                std::uint32_t loopLength) {
        data = values;
        data.resize(values.size() + 8, 0);
        sample.data = data.data();
        sample.length = static_cast<std::uint32_t>(values.size());
        sample.loopMode = mode;
        sample.loopStart = loopStart;
        sample.loopLength = loopLength;
        const std::uint32_t end = loopStart + loopLength;
        if (mode == music::kLoopForward) {
            data[end] = data[loopStart];
        } else if (mode == music::kLoopPingPong) {
            data[end] = data[end - 1];
        }
    }
};

// Voice 0 plays s at the step given (in 1/2^32), steady at the gains given.
Voice& play(const Sample& s, std::uint64_t step, int left, int right) {
    music::prepareMixer(44100);
    Voice& v = music::voices[0];
    v.sample = &s;
    v.stepInteger = static_cast<std::uint32_t>(step >> 32);
    v.stepFraction = static_cast<std::uint32_t>(step);
    v.leftGain = v.rampTargetLeft = left;
    v.rightGain = v.rampTargetRight = right;
    v.rampLeft = left * 256;
    v.rampRight = right * 256;
    return v;
}

std::vector<float> mix(int frames) {
    std::vector<float> out(static_cast<std::size_t>(2 * frames), 0.0f);
    music::mixBlock(out.data(), frames);
    return out;
}

// One side (0 left, 1 right) of an interleaved block.
std::vector<float> side(const std::vector<float>& out, std::size_t which) {
    std::vector<float> values;
    for (std::size_t i = which; i < out.size(); i += 2) {
        values.push_back(out[i]);
    }
    return values;
}

// The values 0, 100, ..., 1100.
std::vector<std::int16_t> hundreds() {
    std::vector<std::int16_t> values;
    for (int i = 0; i < 12; ++i) {
        values.push_back(static_cast<std::int16_t>(i * 100));
    }
    return values;
}

constexpr std::uint64_t kOne = std::uint64_t{1} << 32;

} // namespace

TEST(Mixer, PrepareSetsRampLengthAndVoices) {
    music::prepareMixer(44100);
    EXPECT_EQ(music::rampLength(), 128);
    music::prepareMixer(22050);
    EXPECT_EQ(music::rampLength(), 64);
    for (int i = 0; i < music::kVoiceCount; ++i) {
        const Voice& v = music::voices[i];
        EXPECT_EQ((std::array<long, 4>{v.index, v.stepInteger, v.stepFraction, v.sample != nullptr}),
                  (std::array<long, 4>{i, 1, 0, 0}));
    }
}

TEST(Mixer, InterpolatesLinearlyAtTheStep) {
    OwnedSample s({0, 1000, 2000, 3000, 4000}, music::kLoopNone, 0, 5);
    play(s.sample, kOne, 255, 51);
    std::vector<float> out = mix(3);
    const float right = 51.0f / 255.0f;
    EXPECT_THAT(side(out, 0), Pointwise(FloatEq(), {0.0f, 1000.0f, 2000.0f}));
    EXPECT_THAT(side(out, 1), Pointwise(FloatEq(), {0.0f, 1000.0f * right, 2000.0f * right}));
    play(s.sample, kOne / 2, 255, 255);
    EXPECT_THAT(side(mix(4), 0), Pointwise(FloatEq(), {0.0f, 500.0f, 1000.0f, 1500.0f}));
    // Mixing adds to what the buffer holds.
    play(s.sample, kOne, 255, 255);
    std::vector<float> buffer(4, 7.0f);
    music::mixBlock(buffer.data(), 2);
    EXPECT_FLOAT_EQ(buffer[2], 1007.0f);
    music::mixBlock(buffer.data(), 0);
    music::mixBlock(buffer.data(), -3);
    EXPECT_FLOAT_EQ(buffer[2], 1007.0f);
}

TEST(Mixer, GainChangeRampsLinearlyOver128Frames) {
    OwnedSample s(std::vector<std::int16_t>(64, 10000), music::kLoopForward, 0, 64);
    Voice& v = play(s.sample, kOne, 0, 0);
    v.leftGain = 255;
    v.rightGain = 0;
    const std::vector<float> out = mix(300);
    for (int k = 0; k < 128; ++k) {
        ASSERT_NEAR(out[2 * k], 10000.0f * static_cast<float>(k) / 128.0f, 0.02f) << k;
        ASSERT_FLOAT_EQ(out[2 * k + 1], 0.0f);
    }
    for (int k = 128; k < 300; ++k) {
        ASSERT_FLOAT_EQ(out[2 * k], 10000.0f) << k;
    }
    EXPECT_EQ((std::array<int, 2>{v.rampFramesLeft, v.rampLeft}), (std::array<int, 2>{0, 255 * 256}));
}

TEST(Mixer, BothSidesRampToTheirOwnTargetsAtOnce) {
    OwnedSample s(std::vector<std::int16_t>(64, 10000), music::kLoopForward, 0, 64);
    // (from left, from right) -> (to left, to right): a sweep across, and two unequal moves.
    const int cases[][4] = {{0, 255, 255, 0}, {51, 102, 204, 0}, {200, 10, 100, 250}};
    for (const auto& c : cases) {
        Voice& v = play(s.sample, kOne, c[0], c[1]);
        v.leftGain = c[2];
        v.rightGain = c[3];
        const std::vector<float> out = mix(200);
        const int n = music::rampLength();
        for (int k = 0; k < 200; ++k) {
            const double f = std::min(k, n) / static_cast<double>(n);
            const double left = 10000.0 * (c[0] + (c[2] - c[0]) * f) / 255.0;
            const double right = 10000.0 * (c[1] + (c[3] - c[1]) * f) / 255.0;
            ASSERT_NEAR(out[2 * k], left, 0.5) << "case " << c[0] << " frame " << k;
            ASSERT_NEAR(out[2 * k + 1], right, 0.5) << "case " << c[0] << " frame " << k;
        }
        EXPECT_EQ((std::array<int, 2>{v.rampLeft, v.rampRight}), (std::array<int, 2>{c[2] * 256, c[3] * 256}));
    }
}

TEST(Mixer, RampSpanningBlocksContinuesWhereItStopped) {
    OwnedSample s(std::vector<std::int16_t>(64, 10000), music::kLoopForward, 0, 64);
    Voice& v = play(s.sample, kOne, 255, 255);
    v.leftGain = 0;
    std::vector<float> out = mix(100);
    EXPECT_EQ(v.rampFramesLeft, 28);
    EXPECT_NEAR(out[2 * 99], 10000.0f * (1.0f - 99.0f / 128.0f), 0.05f);
    out = mix(40);
    EXPECT_NEAR(out[0], 10000.0f * (1.0f - 100.0f / 128.0f), 80.0f); // carried over in 8.8 gain steps
    EXPECT_FLOAT_EQ(out[2 * 30], 0.0f);
    EXPECT_FLOAT_EQ(out[2 * 30 + 1], 10000.0f);
}

TEST(Mixer, UnloopedSampleStopsTheVoiceAtItsEnd) {
    OwnedSample s({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}, music::kLoopNone, 0, 10);
    Voice& v = play(s.sample, 3 * kOne, 255, 255);
    EXPECT_THAT(side(mix(8), 0), Pointwise(FloatEq(), {100.0f, 400.0f, 700.0f, 1000.0f, 0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0u);
}

TEST(Mixer, ForwardLoopWrapsByTheLoopLength) {
    OwnedSample s(hundreds(), music::kLoopForward, 4, 4);
    Voice& v = play(s.sample, kOne + kOne / 2, 255, 255);
    v.position = 7;
    // 7.0 plays, then 8.5 is past the end: it wraps to 4.5.
    EXPECT_THAT(side(mix(3), 0), Pointwise(FloatEq(), {700.0f, 450.0f, 600.0f}));
    EXPECT_EQ((std::array<std::uint32_t, 2>{v.position, v.fraction}), (std::array<std::uint32_t, 2>{7, 1u << 31}));
    // Between 7 and the end the interpolation heads for the loop start value.
    play(s.sample, kOne / 2, 255, 255).position = 7;
    const std::vector<float> half = mix(2);
    EXPECT_FLOAT_EQ(half[2], 550.0f);
}

TEST(Mixer, PingPongLoopReflectsAtBothEnds) {
    OwnedSample s(hundreds(), music::kLoopPingPong, 4, 4);
    Voice& v = play(s.sample, kOne, 255, 255);
    v.position = 6;
    mix(2); // plays 6 and 7, reaches 8.0
    EXPECT_EQ((std::array<long, 3>{v.direction, v.position, v.fraction}),
              (std::array<long, 3>{music::kBackward, 7, 0xFFFFFFFF}));
    // Backward from just below 8 (each position a hair below an integer, so
    // it sounds as the value above it, the value at 8 repeating 7's) down
    // past 4, then forward again from 4.
    EXPECT_THAT(side(mix(6), 0), Pointwise(FloatNear(0.01f), {700.0f, 700.0f, 600.0f, 500.0f, 400.0f, 500.0f}));
    EXPECT_EQ(v.direction, music::kForward);
}

TEST(Mixer, PositionOutsideItsLoopIsBroughtBack) {
    std::vector<std::int16_t> values(12, 1);
    OwnedSample s(values, music::kLoopPingPong, 4, 4);
    Voice& v = play(s.sample, kOne * 3, 255, 255);
    v.position = 11;
    mix(50);
    EXPECT_GE(v.position, 4u);
    EXPECT_LT(v.position, 8u);
    OwnedSample f(values, music::kLoopForward, 2, 3);
    Voice& w = play(f.sample, kOne, 255, 255);
    w.position = 11;
    mix(3);
    EXPECT_GE(w.position, 2u);
    EXPECT_LT(w.position, 5u);
}

TEST(Mixer, ConvertsRoundingHalvesToEvenAndClipping) {
    const float in[] = {0.5f,     1.5f,     2.5f,     -0.5f,     -1.5f,     -2.49f,
                        32767.4f, 32767.5f, 40000.0f, -32768.6f, -50000.0f, 3.0f};
    const std::int16_t expected[] = {0, 2, 2, 0, -2, -2, 32767, 32767, 32767, -32768, -32768, 3};
    std::int16_t out[12] = {};
    music::convertToPcm16(out, in, 6);
    EXPECT_THAT(out, ::testing::ElementsAreArray(expected));
    std::int16_t untouched[2] = {9, 9};
    music::convertToPcm16(untouched, in, 0);
    music::convertToPcm16(untouched, nullptr, 1);
    music::convertToPcm16(nullptr, in, 1);
    EXPECT_EQ(untouched[0], 9);
}

TEST(Mixer, FiveFullScaleVoicesClipAfterMixing) {
    OwnedSample s(std::vector<std::int16_t>(32, 32767), music::kLoopForward, 0, 32);
    music::prepareMixer(44100);
    for (int i = 0; i < 5; ++i) {
        Voice& v = music::voices[i];
        v.sample = &s.sample;
        v.leftGain = v.rampTargetLeft = v.rightGain = v.rampTargetRight = 63; // volume 127 at panning 128
        v.rampLeft = v.rampRight = 63 * 256;
    }
    std::vector<float> out = mix(4);
    EXPECT_NEAR(out[0], 5 * 32767.0f * 63.0f / 255.0f, 0.5f);
    EXPECT_GT(out[0], 32767.0f);
    std::int16_t pcm[8];
    music::convertToPcm16(pcm, out.data(), 4);
    EXPECT_EQ((std::array<int, 2>{pcm[0], pcm[7]}), (std::array<int, 2>{32767, 32767}));
}
