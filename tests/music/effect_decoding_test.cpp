// Effect parameters as the player decodes them from pattern cells (which
// nibble is a speed, a depth, an up or a down amount, and what a zero
// parameter reuses) and envelope flags that switch a feature off. Expected
// values follow the XM effect definitions: Axy slides up by x per tick after
// the first, else down by y; 4xy vibrates at speed x and depth y; an envelope
// loops only with its loop bit set and holds only with its sustain bit set.

#include "music/channel.h"
#include "music/modulators.h"
#include "tests/music/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace music::test;
using music::channels;

namespace {

// Volume-column byte that sets the volume v (0x10 + v).
constexpr std::uint8_t volumeByte(int v) {
    return static_cast<std::uint8_t>(0x10 + v);
}

int volumeOf(const music::Channel& c) {
    return c.volume;
}

// A slide by `per` on every tick but the first of each row, from `from`, kept within 0..64.
std::vector<int> slide(int from, int per, int rows, int speed) {
    std::vector<int> out;
    int v = from;
    for (int r = 0; r < rows; ++r) {
        for (int t = 0; t < speed; ++t) {
            if (t != 0) {
                v = std::clamp(v + per, 0, 64);
            }
            out.push_back(v);
        }
    }
    return out;
}

// Vibrato by the XM sine rule: the period offset at a position for a depth.
int sineVibrato(int position, int depth) {
    const double a = std::trunc(std::fabs(std::sin(2.0 * position * 0.049087375)) * 256.0);
    const int d = ((depth * static_cast<int>(a)) >> 5) & ~3;
    return position < 0 ? d : -d;
}

} // namespace

TEST(EffectDecoding, VolumeSlideUpUsesTheHighNibbleAndWinsOverDown) {
    songgen::Song song = basicSong(4, 1, 4);
    cell(song, 0, 0, 0) = {kC4, 1, volumeByte(20), 0xA, 0x30}; // up 3
    cell(song, 0, 1, 0) = {0, 0, 0, 0xA, 0x00};                // memory: up 3 again
    cell(song, 0, 0, 1) = {kC4, 1, volumeByte(20), 0xA, 0x52}; // both nibbles: up 5 only
    cell(song, 0, 0, 2) = {kC4, 1, volumeByte(40), 0xA, 0x07}; // down 7
    cell(song, 0, 1, 2) = {0, 0, 0, 0xA, 0xF0};                // up 15: stops at 64
    cell(song, 0, 0, 3) = {kC4, 1, volumeByte(10), 0x6, 0x20}; // vibrato + slide up 2
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    const std::vector<std::vector<int>> v = overTicks(m.get(), 8, 4, volumeOf);
    EXPECT_EQ(v[0], slide(20, 3, 2, 4));
    EXPECT_EQ(v[1], (std::vector<int>{20, 25, 30, 35, 35, 35, 35, 35}));
    EXPECT_EQ(v[2], (std::vector<int>{40, 33, 26, 19, 19, 34, 49, 64}));
    EXPECT_EQ(v[3], (std::vector<int>{10, 12, 14, 16, 16, 16, 16, 16}));
}

TEST(EffectDecoding, TonePortamentoWithVolumeSlideSlidesUp) {
    songgen::Song song = basicSong(2, 1, 5);
    cell(song, 0, 0, 0) = {kC4, 1, volumeByte(8), 0, 0};
    cell(song, 0, 1, 0) = {kC4 + 1, 0, 0, 0x3, 0x01};
    cell(song, 0, 2, 0) = {0, 0, 0, 0x5, 0x40}; // keeps gliding, volume up 4
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(overTicks(m.get(), 15, 1, volumeOf)[0],
              (std::vector<int>{8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 12, 16, 20, 24}));
}

TEST(EffectDecoding, VibratoTakesSpeedFromTheHighNibbleAndDepthFromTheLow) {
    songgen::Song song = basicSong(2, 1, 6);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0x4, 0x3C}; // speed 3, depth 12
    cell(song, 0, 1, 0) = {0, 0, 0, 0x4, 0x00};   // both remembered
    cell(song, 0, 2, 0) = {0, 0, 0, 0x4, 0x50};   // speed 5, depth kept
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    std::vector<int> expected;
    int position = 0;
    for (int t = 0; t < 18; ++t) {
        // Row start: the offset at the current position; other ticks: offset, then advance.
        expected.push_back(sineVibrato(position, 12));
        if (t % 6 != 0) {
            position += t < 12 ? 3 : 5;
            if (position > 31) {
                position -= 64;
            }
        }
    }
    EXPECT_EQ(overTicks(m.get(), 18, 1, [](const music::Channel& c) { return c.periodDelta; })[0], expected);
    EXPECT_EQ(record(channels[0].vibratoSpeed, channels[0].vibratoDepth), record(5, 12));
}

TEST(EffectDecoding, TremoloTakesSpeedFromTheHighNibbleAndDepthFromTheLow) {
    songgen::Song song = basicSong(2, 1, 6);
    song.instruments[0].samples[0].volume = 32;
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0x7, 0xCE}; // speed 12, depth 14
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    std::vector<int> expected = {0};
    int position = 0;
    for (int t = 1; t < 6; ++t) {
        // Sine: (depth x trunc(|sin(2 p x 0.049087375)| x 256)) >> 6, down in the
        // wave's second half, kept within the volume's 0..64.
        const int a = static_cast<int>(std::fabs(std::sin(2.0 * position * 0.049087375)) * 256.0);
        const int d = (14 * a) >> 6;
        expected.push_back(position < 0 ? -std::min(d, 32) : std::min(d, 64 - 32));
        position += 12;
        if (position > 31) {
            position -= 64;
        }
    }
    EXPECT_EQ(overTicks(m.get(), 6, 1, [](const music::Channel& c) { return c.volumeDelta; })[0], expected);
}

TEST(EffectDecoding, PortamentosReuseTheirLastNonzeroParameter) {
    songgen::Song song = basicSong(3, 1, 3);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0x1, 0x05};
    cell(song, 0, 1, 0) = {0, 0, 0, 0x1, 0x00};
    cell(song, 0, 0, 1) = {kC4, 1, 0, 0x2, 0x03};
    cell(song, 0, 1, 1) = {0, 0, 0, 0x2, 0x00};
    cell(song, 0, 0, 2) = {kC4, 1, 0, 0xE, 0x12}; // fine up 2: 8 units once
    cell(song, 0, 1, 2) = {0, 0, 0, 0xE, 0x10};   // fine up, memory
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    ticks(m.get(), 6);
    const int c4 = 7680 - 48 * 64; // linear period of C-4
    // Two rows of two sliding ticks, and two fine slides.
    EXPECT_EQ(record(channels[0].period, channels[1].period, channels[2].period),
              record(c4 - 4 * 5 * 4, c4 + 4 * 3 * 4, c4 - 2 * 2 * 4));
}

TEST(EffectDecoding, GlobalVolumeAndPanningSlidesReadBothNibbles) {
    songgen::Song song = basicSong(3, 1, 4);
    cell(song, 0, 0, 0) = {0, 0, 0, 0x10, 40};   // G: global volume 40
    cell(song, 0, 1, 0) = {0, 0, 0, 0x11, 0x20}; // H: up 2 per tick
    cell(song, 0, 2, 0) = {0, 0, 0, 0x11, 0x05}; // H: down 5 per tick
    cell(song, 0, 0, 1) = {kC4, 1, 0, 0x8, 100}; // panning 100
    cell(song, 0, 1, 1) = {0, 0, 0, 0x19, 0x30}; // P: right 3 per tick
    cell(song, 0, 2, 1) = {0, 0, 0, 0x19, 0x07}; // P: left 7 per tick
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    std::vector<int> global;
    std::vector<int> panning;
    for (int t = 0; t < 12; ++t) {
        m->tickHandler(m.get());
        global.push_back(m->globalVolume);
        panning.push_back(channels[1].panning);
    }
    EXPECT_EQ(global, (std::vector<int>{40, 40, 40, 40, 40, 42, 44, 46, 46, 41, 36, 31}));
    EXPECT_EQ(panning, (std::vector<int>{100, 100, 100, 100, 100, 103, 106, 109, 109, 102, 95, 88}));
}

TEST(EffectDecoding, RetriggerAndTremorDecodeIntervalAndTimes) {
    songgen::Song song = basicSong(3, 1, 9);
    cell(song, 0, 0, 0) = {kC4, 1, volumeByte(40), 0x1B, 0x13}; // every 3rd tick, volume - 1
    cell(song, 0, 0, 1) = {kC4, 1, 0, 0x1D, 0x31};              // on 4 ticks, off 2
    cell(song, 0, 0, 2) = {kC4, 1, volumeByte(32), 0x1B, 0x62}; // every 2nd tick, volume x 2/3
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    // The volume as heard: tremor leaves the volume and moves its delta.
    const std::vector<std::vector<int>> v =
        overTicks(m.get(), 9, 3, [](const music::Channel& c) { return c.volume + c.volumeDelta; });
    EXPECT_EQ(v[0], (std::vector<int>{40, 40, 40, 39, 39, 39, 38, 38, 38}));
    EXPECT_EQ(v[1], (std::vector<int>{64, 64, 64, 64, 0, 0, 64, 64, 64}));
    // 32, then trunc(v x 2 / 3) on ticks 2, 4, 6 and 8.
    EXPECT_EQ(v[2], (std::vector<int>{32, 32, 21, 21, 14, 14, 9, 9, 6}));
}

TEST(EffectDecoding, NoteCutSilencesOnTheTickGiven) {
    songgen::Song song = basicSong(3, 1, 6);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0xE, 0xC3}; // cut on tick 3
    cell(song, 0, 0, 1) = {kC4, 1, 0, 0xE, 0xC1}; // cut on tick 1
    cell(song, 0, 0, 2) = {kC4, 1, 0, 0xE, 0xC9}; // beyond the row: never
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    const std::vector<std::vector<int>> v = overTicks(m.get(), 6, 3, volumeOf);
    EXPECT_EQ(v[0], (std::vector<int>{64, 64, 64, 0, 0, 0}));
    EXPECT_EQ(v[1], (std::vector<int>{64, 0, 0, 0, 0, 0}));
    EXPECT_EQ(v[2], std::vector<int>(6, 64));
}

namespace {

// The envelope run straight through its points: linear between them, truncated.
std::vector<int> straightThrough(int steps) {
    const int x[] = {0, 2, 4, 9};
    const int y[] = {0, 20, 40, 0};
    std::vector<int> out;
    for (int t = 0; t < steps; ++t) {
        int i = 0;
        while (i < 2 && t >= x[i + 1]) {
            ++i;
        }
        const int tick = std::min(t, 9);
        out.push_back(static_cast<int>(std::floor(y[i] + (y[i + 1] - y[i]) * (tick - x[i]) / double(x[i + 1] - x[i]))));
    }
    return out;
}

} // namespace

TEST(EnvelopeFlags, LoopAndSustainPointsWithoutTheirBitsAreIgnored) {
    const music::Instrument in = envelopeInstrument(music::kEnvelopeOn);
    music::Channel ch{};
    EXPECT_EQ(volumeEnvelopeSteps(ch, in, 12), straightThrough(12));
    std::vector<int> panning;
    for (int step = 0; step < 12; ++step) {
        music::panningEnvelopeStep(ch, in);
        panning.push_back(ch.panEnvValue);
    }
    EXPECT_EQ(panning, straightThrough(12));
    EXPECT_EQ(record(ch.volEnvStopped, ch.panEnvStopped), record(1, 1));
}

TEST(EnvelopeFlags, SustainBitHoldsUntilKeyOff) {
    const music::Instrument in = envelopeInstrument(music::kEnvelopeOn | music::kEnvelopeSustain);
    music::Channel ch{};
    EXPECT_EQ(volumeEnvelopeSteps(ch, in, 6), (std::vector<int>{0, 10, 20, 20, 20, 20}));
    ch.keyOff = 1;
    music::volumeEnvelopeStep(ch, in);
    music::volumeEnvelopeStep(ch, in);
    EXPECT_EQ(ch.volEnvValue, 30);
}

TEST(EnvelopeFlags, PlayerRunsAnEnvelopeOnlyWithItsOnBit) {
    songgen::Song song = basicSong(2, 1, 6);
    song.instruments.push_back(song.instruments[0]);
    song.instruments[0].volume = {
        .points = {{0, 0}, {2, 20}, {4, 40}, {9, 0}}, .loopStart = 1, .loopEnd = 2, .type = music::kEnvelopeOn};
    song.instruments[1].volume = song.instruments[0].volume;
    song.instruments[1].volume.type = music::kEnvelopeLoop; // loop bit without the on bit
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 0, 1) = {kC4, 2, 0, 0, 0};
    ModulePtr m = start(song);
    ASSERT_NE(m, nullptr);
    const std::vector<std::vector<int>> v =
        overTicks(m.get(), 12, 2, [](const music::Channel& c) { return c.volEnvValue; });
    EXPECT_EQ(v[0], straightThrough(12));
    EXPECT_EQ(v[1], std::vector<int>(12, 64));
}
