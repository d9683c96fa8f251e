// The player and its modulators: timing, flow effects, volume and pitch
// effects, envelopes, period tables and the voice update. Expected values
// come from the XM definitions (periods and frequencies from their
// formulas, envelope values from the segment arithmetic), not from the
// player's own tables.

#include "music/channel.h"
#include "music/mixer.h"
#include "music/modulators.h"
#include "music/player.h"
#include "music/render.h"
#include "tests/music/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

using namespace music::test;
using music::channels;
using music::Module;

namespace {

// Runs ticks and returns the (order, row) of every row start among them.
std::vector<std::pair<int, int>> rowStarts(Module* m, int ticks) {
    std::vector<std::pair<int, int>> starts;
    for (int t = 0; t < ticks; ++t) {
        const bool rowStart = m->tick == 0;
        m->tickHandler(m);
        if (rowStart) {
            starts.emplace_back(m->order, m->row);
        }
    }
    return starts;
}

double hzOfNote(double realNote) {
    return 8363.0 * std::pow(2.0, (realNote - 48.0) / 12.0);
}

} // namespace

TEST(PlayerTiming, RowsStartEvery1740FramesAtSpeed3Bpm190AndTicksFollowTheTempo) {
    ModulePtr m = start(basicSong(2, 1, 3, 190));
    ASSERT_NE(m, nullptr);
    std::vector<float> mix(2);
    std::vector<int> changes;
    int lastRow = -1;
    for (int frame = 0; frame < 1740 * 4 + 1; ++frame) {
        music::renderFrames(m.get(), mix.data(), 1);
        if (m->row != lastRow) {
            changes.push_back(frame);
            lastRow = m->row;
        }
    }
    EXPECT_EQ(changes, (std::vector<int>{0, 1740, 3480, 5220, 6960}));
    // 2.5 s per 1000 ticks at 100 BPM: 44,100 x 2.5 / bpm frames per tick.
    for (int bpm : {32, 125, 190, 255}) {
        music::setBpm(m.get(), bpm);
        EXPECT_EQ(m->samplesPerTick, 44100 * 5 / (2 * bpm)) << bpm;
    }
    EXPECT_EQ(m->bpm, 255);
}

TEST(PlayerFlow, PatternDelayLengthensTheRowAndKeepsItsTickEffects) {
    songgen::Song song = basicSong(2, 1, 6);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0xA, 0x01};
    cell(song, 0, 0, 1) = {0, 0, 0, 0xE, 0xE2};
    ModulePtr m = start(song);
    ticks(m.get(), 18);
    EXPECT_EQ(record(m->row, channels[0].volume), record(0, 64 - 17)); // A01 on each of the 17 later ticks
    ticks(m.get(), 1);
    EXPECT_EQ(m->row, 1);
}

// Row starts (order, row) tick by tick: the song's end, jumps and breaks
// (beyond the next pattern's rows: its top), speed 0 and pattern loops.
TEST(PlayerFlow, RowsFollowTheSongEndJumpsBreaksAndLoops) {
    struct Placed {
        int pattern, row, channel;
        std::uint8_t effect, parameter;
    };
    const struct {
        const char* what;
        std::vector<int> rows; // of each pattern, one per order entry
        int restart;
        int speed;
        std::vector<Placed> cells;
        std::vector<std::pair<int, int>> starts;
    } cases[] = {
        {"end to restart", {1, 2, 3}, 1, 1, {}, {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {1, 0}, {1, 1}}},
        {"D40; D70 is row 0; B05 with D10; B50 beyond the song",
         {64, 64, 32, 64, 64, 64, 64, 64},
         0,
         1,
         {{0, 0, 0, 0xD, 0x40},
          {1, 40, 3, 0xD, 0x70},
          {2, 0, 1, 0xB, 0x05},
          {2, 0, 3, 0xD, 0x10},
          {5, 10, 0, 0xB, 0x50}},
         {{0, 0}, {1, 40}, {2, 0}, {5, 10}, {0, 0}}},
        {"D50 into 32 rows", {64, 32}, 0, 1, {{0, 0, 1, 0xD, 0x50}}, {{0, 0}, {1, 0}, {1, 1}}},
        {"F00", {64}, 0, 4, {{0, 0, 0, 0xF, 0x00}}, {{0, 0}, {0, 1}, {0, 2}, {0, 3}}},
        {"E60 then E62",
         {64},
         0,
         1,
         {{0, 1, 0, 0xE, 0x60}, {0, 3, 0, 0xE, 0x62}},
         {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 4}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        songgen::Song song = basicSong(6, static_cast<int>(c.rows.size()));
        for (std::size_t p = 0; p < c.rows.size(); ++p) {
            song.patterns[p].rows = c.rows[p];
        }
        song.restart = c.restart;
        song.speed = c.speed;
        for (const Placed& at : c.cells) {
            cell(song, at.pattern, at.row, at.channel) = {0, 0, 0, at.effect, at.parameter};
        }
        ModulePtr m = start(song);
        EXPECT_EQ(rowStarts(m.get(), static_cast<int>(c.starts.size())), c.starts);
    }
}

TEST(PlayerVolume, VolumeColumnSlidesActOnEveryTickIncludingTheFirst) {
    songgen::Song song = basicSong(2, 1, 4);
    cell(song, 0, 0, 0) = {kC4, 1, 0x65, 0, 0};
    cell(song, 0, 1, 0) = {0, 0, 0x73, 0, 0};
    ModulePtr m = start(song);
    EXPECT_EQ(overTicks(m.get(), 8, 1, [](const music::Channel& c) { return c.volume; })[0],
              (std::vector<int>{59, 54, 49, 44, 47, 50, 53, 56}));
}

TEST(PlayerVolume, FullLevelsGiveVolume127AndEqualGainsAtCentre) {
    songgen::Song song = basicSong(2, 1);
    song.instruments[0].samples[0].panning = 128;
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 0, 1) = {kC4, 1, 0x30, 0x8, 255};
    ModulePtr m = start(song);
    ticks(m.get(), 1);
    const music::Voice& v = *channels[0].voice;
    EXPECT_EQ(record(v.volume, v.leftGain, v.rightGain), record(127, 63, 63));
    // Volume 32 of 64, panned by 8FF to 255, which XM defines as full right:
    // right gain 255 * 63 / 255, left gain 0.
    const music::Voice& w = *channels[1].voice;
    EXPECT_EQ(record(w.volume, w.leftGain, w.rightGain), record(63, 0, 63));
}

TEST(PlayerVolume, KeyOffWithoutEnvelopeSilencesAtOnce) {
    songgen::Song song = basicSong(2, 1, 2);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 1, 0) = {97, 0, 0, 0, 0};
    ModulePtr m = start(song);
    ticks(m.get(), 2);
    EXPECT_GT(channels[0].voice->volume, 0);
    ticks(m.get(), 1);
    EXPECT_EQ(record(channels[0].volEnvValue, channels[0].voice->volume), record(0, 0));
}

TEST(PlayerVolume, KeyOffWithEnvelopeLeavesTheSustainAndFades) {
    songgen::Song song = basicSong(2, 1, 2);
    songgen::Instrument& in = song.instruments[0];
    in.volume = {.points = {{0, 64}, {2, 48}, {6, 16}}, .sustain = 1, .type = 3};
    in.fadeout = 4096; // 8192 per tick once doubled
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 4, 0) = {0, 0, 0, 0x14, 0};
    ModulePtr m = start(song);
    ticks(m.get(), 8);
    const music::Channel& c = channels[0];
    EXPECT_EQ(record(c.volEnvValue, c.fadeoutVolume), record(48, 65536)); // held at the sustain point
    ticks(m.get(), 1);                                                    // Kxx
    EXPECT_EQ(record(c.keyOff, c.fadeoutVolume), record(1, 65536 - 8192));
    ticks(m.get(), 4);
    // (48 - 16) / 4 per tick from tick 2 on: 48 - 8 x 4 = 16 after the segment.
    EXPECT_EQ(record(c.volEnvValue, c.fadeoutVolume), record(16, 65536 - 5 * 8192));
    ticks(m.get(), 10);
    EXPECT_EQ(record(c.fadeoutVolume, c.voice->volume), record(0, 0));
}

TEST(PlayerPitch, NotesPlayAtTheirFrequencies) {
    songgen::Song song = basicSong(2, 1);
    song.instruments[0].samples[0].relativeNote = 3;
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 0, 1) = {kC4 + 12, 1, 0, 0, 0};
    ModulePtr m = start(song);
    ticks(m.get(), 1);
    EXPECT_NEAR(channels[0].voice->frequency, hzOfNote(51), 1.0);
    EXPECT_NEAR(channels[1].voice->frequency, hzOfNote(63), 1.0);
    const music::Voice& v = *channels[0].voice;
    const double step = v.stepInteger + v.stepFraction / 4294967296.0;
    EXPECT_NEAR(step, v.frequency / 44100.0, 1e-9);
}

TEST(PlayerPitch, ArpeggioStepsThroughItsSemitones) {
    songgen::Song song = basicSong(2, 1, 6);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0x0, 0x47};
    ModulePtr m = start(song);
    const std::vector<int> hz = overTicks(m.get(), 6, 1, [](const music::Channel& c) { return c.voice->frequency; })[0];
    const double semitones[] = {0, 4, 7, 0, 4, 7};
    for (int t = 0; t < 6; ++t) {
        EXPECT_NEAR(hz[static_cast<std::size_t>(t)], hzOfNote(48 + semitones[t]), 1.0) << t;
    }
}

TEST(PlayerPitch, TonePortamentoGlidesToTheNoteAndStops) {
    songgen::Song song = basicSong(2, 1, 6);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 1, 0) = {kC4 + 2, 0, 0, 0x3, 0x10}; // 64 period units (one semitone) per tick
    ModulePtr m = start(song);
    ticks(m.get(), 6);
    const music::Voice* before = channels[0].voice;
    EXPECT_EQ(overTicks(m.get(), 6, 1, [](const music::Channel& c) { return c.period; })[0],
              (std::vector<int>{4608, 4608 - 64, 4608 - 128, 4608 - 128, 4608 - 128, 4608 - 128}));
    EXPECT_EQ(channels[0].voice, before); // no new note
    EXPECT_NEAR(channels[0].voice->frequency, hzOfNote(50), 1.0);
}

TEST(PlayerPitch, PortamentoUpStopsAtPeriod56) {
    songgen::Song song = basicSong(2, 1, 31);
    cell(song, 0, 0, 0) = {90, 1, 0, 0x1, 0xFF};
    ModulePtr m = start(song);
    ticks(m.get(), 31);
    EXPECT_EQ(channels[0].period, 56);
}

TEST(PlayerVoices, NewNoteMovesToTheTwinVoiceAndTheOldOneRampsOut) {
    songgen::Song song = basicSong(2, 1, 1);
    cell(song, 0, 0, 1) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 1, 1) = {kC4 + 5, 1, 0, 0, 0};
    cell(song, 0, 2, 1) = {kC4 + 7, 1, 0, 0, 0};
    ModulePtr m = start(song);
    ticks(m.get(), 1);
    EXPECT_EQ(channels[1].voice, &music::voices[1]);
    ticks(m.get(), 1);
    EXPECT_EQ(channels[1].voice, &music::voices[33]);
    EXPECT_EQ(record(music::voices[1].volume, music::voices[1].leftGain), record(0, 0));
    EXPECT_NE(music::voices[1].sample, nullptr); // still sounding while its gains ramp down
    // The new note ramps in from silence.
    const music::Voice& twin = music::voices[33];
    EXPECT_EQ(record(twin.index, twin.rampLeft, twin.position), record(33, 0, 0));
    ticks(m.get(), 1);
    EXPECT_EQ(channels[1].voice, &music::voices[1]);
}

TEST(PlayerGuards, NotesAboveTheRangeAreIgnored) {
    songgen::Song song = basicSong(2, 1, 1);
    cell(song, 0, 0, 0) = {kC4, 1, 0, 0, 0};
    cell(song, 0, 1, 0) = {200, 1, 0, 0, 0};
    cell(song, 0, 2, 0) = {98, 0, 0, 0, 0};
    ModulePtr m = start(song);
    ticks(m.get(), 3);
    EXPECT_EQ(channels[0].note, kC4 - 1);
    EXPECT_EQ(channels[0].voice, &music::voices[0]); // no second note started
}

TEST(PeriodTables, LinearAndAmigaPeriodsFollowTheirFormulas) {
    EXPECT_EQ(music::amigaPeriod(0, 0), 27392);
    EXPECT_EQ(music::linearPeriod(48, -28), 4622);
    for (int n = 0; n < 96; ++n) {
        // Amiga periods: 14,317,056 / the note's frequency, cut to a whole period.
        EXPECT_NEAR(music::amigaPeriod(n, 0), 14317056.0 / hzOfNote(n), 1.0) << n;
        // A finetune of 127 lies within a semitone above the note.
        const int up = music::amigaPeriod(n, 127);
        EXPECT_LE(up, music::amigaPeriod(n, 0)) << n;
        EXPECT_GE(up, music::amigaPeriod(n + 1, 0) - 1) << n;
        // Linear: 64 units per semitone, 128 finetune steps per semitone.
        EXPECT_EQ(music::linearPeriod(n, 0) - music::linearPeriod(n + 1, 0), 64);
        EXPECT_EQ(music::linearPeriod(n, -128) - music::linearPeriod(n, 0), 64);
    }
}

TEST(Modulators, VibratoWaveforms) {
    music::Channel ch{};
    ch.vibratoDepth = 15;
    const int a = static_cast<int>(std::fabs(std::sin(-16 * 0.049087375)) * 256.0);
    // Wave control (0 sine, 1 ramp, 2 square), position, and the period offset of depth 15.
    const int cases[][3] = {
        {0, 16, -116}, // sine peak: a = 255
        {0, -8, ((15 * a) >> 5) & ~3},
        {1, 10, -(((15 * 80) >> 5) & ~3)},
        {1, -10, ((15 * 79) >> 5) & ~3}, // (-80 mod 256) = 176, 255 - 176 = 79
        {2, -10, ((15 * 255) >> 5) & ~3},
    };
    for (const auto& c : cases) {
        ch.waveControl = static_cast<std::uint8_t>(c[0]);
        ch.vibratoPosition = static_cast<std::int8_t>(c[1]);
        music::vibratoStep(ch);
        EXPECT_EQ(ch.periodDelta, c[2]) << "wave " << c[0] << " at " << c[1];
    }
    ch.vibratoPosition = 28;
    ch.vibratoSpeed = 6;
    music::vibratoAdvance(ch);
    EXPECT_EQ(ch.vibratoPosition, 28 + 6 - 64);
}

TEST(Modulators, EnvelopeSegmentThenStop) {
    music::Instrument in{};
    in.volumeEnvelope[0] = {0, 64};
    in.volumeEnvelope[1] = {10, 0};
    in.volumePointCount = 2;
    in.volumeType = 1;
    music::Channel ch{};
    // 64 falling by 6.4 per tick, truncated.
    EXPECT_EQ(volumeEnvelopeSteps(ch, in, 11), (std::vector<int>{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0}));
    EXPECT_EQ(ch.volEnvStopped, 1);
}

TEST(Modulators, EnvelopeLoopsBetweenItsPoints) {
    const music::Instrument in = envelopeInstrument(music::kEnvelopeOn | music::kEnvelopeLoop);
    music::Channel ch{};
    EXPECT_EQ(volumeEnvelopeSteps(ch, in, 9), (std::vector<int>{0, 10, 20, 30, 20, 30, 20, 30, 20}));
    music::setVolumeEnvelopePosition(ch, in, 6);
    EXPECT_EQ(ch.volEnvValue, 40 - 2 * 8);
    music::setVolumeEnvelopePosition(ch, in, 50);
    EXPECT_EQ(record(ch.volEnvValue, ch.volEnvStopped), record(0, 1));
}

TEST(Modulators, AutoVibratoSweepsIn) {
    music::Instrument in{};
    in.vibratoType = 1; // square: +64 for the first half turn
    in.vibratoDepth = 8;
    in.vibratoSweep = 4;
    in.vibratoRate = 16;
    music::Channel ch{};
    std::vector<int> deltas;
    for (int t = 0; t < 6; ++t) {
        ch.periodDelta = 0;
        music::autoVibratoStep(ch, in);
        deltas.push_back(ch.periodDelta);
    }
    // e = sweep position x 8 x 64 / 4, then >> 6.
    EXPECT_EQ(deltas, (std::vector<int>{0, 2, 4, 6, 8, 8}));
    EXPECT_EQ(ch.autoVibratoPosition, 96);
}
