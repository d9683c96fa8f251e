// The embedded song, listened to as far as a program can: its shape
// (channels, tempo, instruments, effects), where its sections land, and the
// rendered sound over the show's 69 seconds (no clipping, no silent gaps,
// louder after each drop, a beat at 190 BPM).

#include "music/channel.h"
#include "music/mixer.h"
#include "music/render.h"
#include "music/xmloader.h"
#include "resources/song/song.h"
#include "tests/music/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

using namespace music::test;

namespace {

constexpr int kRate = 44100;
constexpr double kShowSeconds = 69.0;

ModulePtr loadSong() {
    return load(std::vector<std::uint8_t>(resources::kSongModule, resources::kSongModule + resources::kSongModuleSize));
}

struct Render {
    std::vector<std::int16_t> pcm;
    std::vector<double> orderStart; // seconds at which each order first starts
};

Render renderSong(double seconds) {
    Render out;
    ModulePtr m = loadSong();
    EXPECT_NE(m, nullptr);
    music::prepareRender(m.get(), kRate);
    const int frames = static_cast<int>(seconds * kRate);
    std::vector<float> mix(2 * static_cast<std::size_t>(frames), 0.0f);
    out.orderStart.assign(static_cast<std::size_t>(m->songLength), -1.0);
    int lastOrder = -1;
    constexpr int kStep = 64; // order starts to within 1.5 ms
    for (int f = 0; f < frames; f += kStep) {
        music::renderFrames(m.get(), mix.data() + 2 * f, std::min(kStep, frames - f));
        if (m->order != lastOrder && out.orderStart[static_cast<std::size_t>(m->order)] < 0) {
            out.orderStart[static_cast<std::size_t>(m->order)] = static_cast<double>(f) / kRate;
        }
        lastOrder = m->order;
    }
    out.pcm.resize(mix.size());
    music::convertToPcm16(out.pcm.data(), mix.data(), frames);
    return out;
}

double rmsDb(const std::vector<std::int16_t>& pcm, double from, double to) {
    const auto a = static_cast<std::size_t>(from * kRate) * 2;
    const auto b = static_cast<std::size_t>(to * kRate) * 2;
    double sum = 0.0;
    for (std::size_t i = a; i < b; ++i) {
        sum += static_cast<double>(pcm[i]) * pcm[i];
    }
    return 10.0 * std::log10(sum / static_cast<double>(b - a) / (32768.0 * 32768.0) + 1e-30);
}

} // namespace

TEST(Song, HasTheShapeTheShowExpects) {
    ModulePtr m = loadSong();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(record(m->channelCount, m->flags & music::kLinearFrequencies, m->defaultSpeed, m->defaultBpm,
                     m->songLength, m->instrumentCount),
              record(6, 1, 3, 190, 30, 16));
    EXPECT_GE(m->patternSlots, 20);
    EXPECT_LE(m->patternSlots, 24);
    std::set<int> loopModes;
    int sustained = 0, looped = 0, panned = 0, vibrato = 0;
    for (int i = 0; i < m->instrumentCount; ++i) {
        const music::Instrument& in = m->instruments[i];
        ASSERT_EQ(in.sampleCount, 1u);
        loopModes.insert(in.samples[0]->loopMode);
        sustained += (in.volumeType & music::kEnvelopeSustain) != 0;
        looped += (in.volumeType & music::kEnvelopeLoop) != 0;
        panned += (in.panningType & music::kEnvelopeOn) != 0;
        vibrato += in.vibratoDepth != 0;
    }
    EXPECT_EQ(loopModes, (std::set<int>{music::kLoopNone, music::kLoopForward, music::kLoopPingPong}));
    EXPECT_GE(sustained, 4);
    EXPECT_GE(looped, 2);
    EXPECT_GE(panned, 3);
    EXPECT_GE(vibrato, 3);
    // Effects and extended effects that the arrangement uses.
    std::set<int> effects;
    for (int p = 0; p < m->patternSlots; ++p) {
        const music::Pattern& pattern = m->patterns[p];
        for (std::uint32_t i = 0; i < pattern.rows * 6; ++i) {
            const music::NoteCell& c = pattern.cells[i];
            if (c.effect != 0 || c.parameter != 0) {
                effects.insert(c.effect == 0xE ? 0x100 | (c.parameter >> 4) : c.effect);
            }
        }
    }
    EXPECT_GE(effects.size(), 30u);
}

TEST(Song, SoundsLikeTheShowNeedsIt) {
    const Render r = renderSong(kShowSeconds + 1.0);
    // The sections start near the scene changes, and the song does not loop within the show.
    const int drops[] = {4, 9, 13, 20, 24};
    const double scenes[] = {10, 23, 33, 50, 60};
    for (int i = 0; i < 5; ++i) {
        const double t = r.orderStart[static_cast<std::size_t>(drops[i])];
        EXPECT_NEAR(t, scenes[i], 0.7) << "order " << drops[i];
        // Louder after the drop than in the second before it.
        EXPECT_GT(rmsDb(r.pcm, t + 0.05, t + 1.2) - rmsDb(r.pcm, t - 1.2, t - 0.05), 1.5) << "order " << drops[i];
    }
    // Order 27 starts within the show; the last order, and with it the loop, lie beyond it.
    EXPECT_GT(r.orderStart[27], 60.0);
    EXPECT_LT(r.orderStart.back(), 0.0);

    // No clipping, and no window of a quarter second quieter than -40 dBFS after the first half second.
    EXPECT_EQ(std::count_if(r.pcm.begin(), r.pcm.end(), [](std::int16_t v) { return v == 32767 || v == -32768; }), 0);
    for (double t = 0.5; t + 0.25 <= kShowSeconds; t += 0.25) {
        ASSERT_GT(rmsDb(r.pcm, t, t + 0.25), -40.0) << "at " << t << " s";
    }

    // The beat: the onset strength (rises of the 10 ms energy) repeats most
    // strongly at a whole number of beats of 8 rows (13,920 frames, 316 ms).
    constexpr int kHop = 441;
    std::vector<double> energy;
    for (std::size_t f = 10 * kRate; f + kHop < static_cast<std::size_t>(kShowSeconds * kRate); f += kHop) {
        double e = 0.0;
        for (std::size_t i = 2 * f; i < 2 * (f + kHop); ++i) {
            e += static_cast<double>(r.pcm[i]) * r.pcm[i];
        }
        energy.push_back(std::log10(e + 1.0));
    }
    std::vector<double> onset(energy.size(), 0.0);
    for (std::size_t i = 1; i < energy.size(); ++i) {
        onset[i] = std::max(0.0, energy[i] - energy[i - 1]);
    }
    int bestLag = 0;
    double best = -1.0;
    for (int lag = 20; lag <= 70; ++lag) {
        double sum = 0.0;
        for (std::size_t i = static_cast<std::size_t>(lag); i < onset.size(); ++i) {
            sum += onset[i] * onset[i - static_cast<std::size_t>(lag)];
        }
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    const double beats = bestLag * kHop / 13920.0;
    EXPECT_NEAR(beats, std::round(beats), 0.05) << "best lag " << bestLag * 10 << " ms";
}
