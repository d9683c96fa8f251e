// The order and row at every row start, and the frame at which each row
// starts, against libopenmpt playing the same module: the embedded song and
// small modules built around position jumps, pattern breaks, pattern loops,
// pattern delays and speed and tempo changes.
//
// Frame times may differ by libopenmpt's finer tick length: it keeps the
// fraction of a frame per tick (580.26 at 190 BPM) where this player cuts it
// (580), so the allowance grows by one frame per tick.

#include "music/render.h"
#include "music/xmloader.h"
#include "resources/song/song.h"
#include "tests/music/fixtures.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <vector>

using namespace music::test;

namespace {

struct RowStart {
    int order;
    int row;
    long frame;
    long tick; // ticks played before this row
};

std::vector<RowStart> ourRowStarts(const std::vector<std::uint8_t>& bytes, long maxFrames) {
    std::vector<RowStart> starts;
    ModulePtr m = load(bytes);
    EXPECT_NE(m, nullptr);
    if (m == nullptr) {
        return starts;
    }
    music::prepareRender(m.get(), 44100);
    long frame = 0;
    long ticks = 0;
    while (frame < maxFrames) {
        const bool rowStart = m->tick == 0;
        m->tickHandler(m.get());
        if (rowStart) {
            starts.push_back({m->order, m->row, frame, ticks});
        }
        frame += m->samplesPerTick;
        ++ticks;
    }
    return starts;
}

// libopenmpt's row starts, found by rendering 16 frames at a time; it stops at the song's end.
std::vector<RowStart> openmptRowStarts(const std::vector<std::uint8_t>& bytes, long maxFrames) {
    std::vector<RowStart> starts;
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(mod, nullptr);
    if (mod == nullptr) {
        return starts;
    }
    openmpt_module_set_repeat_count(mod, 0);
    constexpr int kChunk = 16;
    std::vector<std::int16_t> buffer(2 * kChunk);
    long frame = 0;
    int order = -1;
    int row = -1;
    while (frame < maxFrames) {
        const std::size_t n = openmpt_module_read_interleaved_stereo(mod, 44100, kChunk, buffer.data());
        if (n == 0) {
            break;
        }
        const int o = openmpt_module_get_current_order(mod);
        const int r = openmpt_module_get_current_row(mod);
        if (o != order || r != row) {
            starts.push_back({o, r, frame, 0});
            order = o;
            row = r;
        }
        frame += static_cast<long>(n);
    }
    openmpt_module_destroy(mod);
    return starts;
}

struct SideLevels {
    double left = 0.0; // sum of magnitudes of the first sample of each frame
    double right = 0.0;
};

// The levels over `frames` frames after the first `skip` of the song.
SideLevels ourLevels(const std::vector<std::uint8_t>& bytes, int skip, int frames) {
    SideLevels levels;
    ModulePtr m = load(bytes);
    EXPECT_NE(m, nullptr);
    if (m == nullptr) {
        return levels;
    }
    music::prepareRender(m.get(), 44100);
    std::vector<float> mix(2 * static_cast<std::size_t>(skip + frames), 0.0f);
    music::renderFrames(m.get(), mix.data(), skip + frames);
    for (int i = skip; i < skip + frames; ++i) {
        levels.left += std::abs(mix[2 * static_cast<std::size_t>(i)]);
        levels.right += std::abs(mix[2 * static_cast<std::size_t>(i) + 1]);
    }
    return levels;
}

SideLevels openmptLevels(const std::vector<std::uint8_t>& bytes, int skip, int frames) {
    SideLevels levels;
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(mod, nullptr);
    if (mod == nullptr) {
        return levels;
    }
    std::vector<float> left(static_cast<std::size_t>(skip + frames));
    std::vector<float> right(left.size());
    const std::size_t n = openmpt_module_read_float_stereo(mod, 44100, left.size(), left.data(), right.data());
    openmpt_module_destroy(mod);
    EXPECT_EQ(n, left.size());
    for (std::size_t i = static_cast<std::size_t>(skip); i < n; ++i) {
        levels.left += std::abs(left[i]);
        levels.right += std::abs(right[i]);
    }
    return levels;
}

// Compares the two timelines over libopenmpt's whole song.
void expectSameTimeline(const std::vector<std::uint8_t>& bytes, long maxFrames) {
    const std::vector<RowStart> ours = ourRowStarts(bytes, maxFrames);
    const std::vector<RowStart> theirs = openmptRowStarts(bytes, maxFrames);
    ASSERT_GT(theirs.size(), 10u);
    ASSERT_GE(ours.size(), theirs.size());
    for (std::size_t i = 0; i < theirs.size(); ++i) {
        ASSERT_EQ(record(ours[i].order, ours[i].row), record(theirs[i].order, theirs[i].row)) << "row start " << i;
        // Seen at the end of the 16-frame chunk in which it began.
        const long allowance = 16 + ours[i].tick;
        ASSERT_NEAR(static_cast<double>(ours[i].frame), static_cast<double>(theirs[i].frame),
                    static_cast<double>(allowance))
            << "row start " << i << " (order " << theirs[i].order << ", row " << theirs[i].row << ")";
    }
}

} // namespace

TEST(OpenmptCrossCheck, EmbeddedSong) {
    const std::vector<std::uint8_t> song(resources::kSongModule, resources::kSongModule + resources::kSongModuleSize);
    expectSameTimeline(song, 44100L * 80);
}

TEST(OpenmptCrossCheck, JumpsAndBreaks) {
    songgen::Song song = basicSong(4, 6, 3, 150);
    cell(song, 0, 10, 0) = {0, 0, 0, 0xD, 0x20}; // to order 1, row 20
    cell(song, 1, 30, 1) = {0, 0, 0, 0xB, 0x03}; // a jump and a later break in one row:
    cell(song, 1, 30, 3) = {0, 0, 0, 0xD, 0x08}; // order 3, row 8
    cell(song, 3, 12, 2) = {0, 0, 0, 0xD, 0x00}; // to order 4, row 0
    cell(song, 4, 5, 2) = {0, 0, 0, 0xD, 0x63};  // to the last row of order 5
    cell(song, 0, 2, 1) = {49, 1, 0, 0, 0};
    expectSameTimeline(songgen::write(song), 44100L * 60);
}

TEST(OpenmptCrossCheck, LoopsDelaysAndTempo) {
    songgen::Song song = basicSong(4, 3, 4, 125);
    cell(song, 0, 0, 0) = {0, 0, 0, 0xF, 0x02};  // speed 2
    cell(song, 0, 4, 1) = {0, 0, 0, 0xE, 0x60};  // loop rows 4..7 ...
    cell(song, 0, 7, 1) = {0, 0, 0, 0xE, 0x62};  // ... three times
    cell(song, 0, 10, 2) = {0, 0, 0, 0xE, 0xE3}; // row 10 lasts four rows
    cell(song, 0, 16, 0) = {0, 0, 0, 0xF, 0x80}; // 128 BPM
    cell(song, 0, 20, 3) = {0, 0, 0, 0xF, 0x05}; // speed 5
    cell(song, 0, 63, 3) = {0, 0, 0, 0xD, 0x00}; // see FinishedPatternLoopDeparture
    cell(song, 1, 0, 0) = {0, 0, 0, 0xF, 0x20};  // 32 BPM
    cell(song, 1, 3, 0) = {0, 0, 0, 0xF, 0xFF};  // 255 BPM
    cell(song, 1, 8, 3) = {0, 0, 0, 0xF, 0x01};  // speed 1
    cell(song, 1, 20, 1) = {0, 0, 0, 0xE, 0x60};
    cell(song, 1, 22, 1) = {0, 0, 0, 0xE, 0x64};
    cell(song, 1, 21, 2) = {0, 0, 0, 0xE, 0xE1};
    cell(song, 1, 63, 2) = {0, 0, 0, 0xD, 0x00};
    cell(song, 2, 0, 3) = {0, 0, 0, 0xF, 0x03};
    cell(song, 2, 1, 0) = {0, 0, 0, 0xF, 0xBE};
    cell(song, 2, 40, 2) = {0, 0, 0, 0xE, 0xE2};
    expectSameTimeline(songgen::write(song), 44100L * 120);
}

// XM format: panning 0 is full left, 255 full right. One channel playing a
// note panned to either side must sound on the same side as in libopenmpt,
// and (almost) nothing on the other.
TEST(OpenmptCrossCheck, HardPanningSoundsOnTheSameSide) {
    struct Case {
        const char* what;
        std::uint8_t samplePanning; // the note's panning, from its sample
        songgen::Cell row4;         // a panning change four rows later
        bool left;
    };
    const Case cases[] = {
        {"sample panned hard left", 0, {}, true},
        {"sample panned hard right", 255, {}, false},
        {"8FF then 800", 255, {0, 0, 0, 0x8, 0x00}, true},
    };
    for (const Case& c : cases) {
        songgen::Song song = basicSong(1, 1);
        song.instruments[0].samples[0].panning = c.samplePanning;
        cell(song, 0, 0, 0) = {49, 1, 0, 0, 0};
        cell(song, 0, 4, 0) = c.row4;
        const std::vector<std::uint8_t> bytes = songgen::write(song);
        // Skip the first five rows of speed 6 at 125 BPM (882 frames a tick)
        // when the panning changes on row 4.
        const int skip = c.row4.effect != 0 ? 5 * 6 * 882 : 0;
        // libopenmpt first, to show it agrees with the rule.
        for (const SideLevels& levels : {openmptLevels(bytes, skip, 44100 / 2), ourLevels(bytes, skip, 44100 / 2)}) {
            const double loud = c.left ? levels.left : levels.right;
            const double quiet = c.left ? levels.right : levels.left;
            EXPECT_GT(loud, 0.0) << c.what;
            EXPECT_LT(quiet, 0.01 * loud) << c.what << ": left " << levels.left << ", right " << levels.right;
        }
    }
}

// Departure from FastTracker 2: there, a pattern loop that has finished
// leaves its loop row as the row at which the next pattern starts (and
// libopenmpt follows it); this player starts the next pattern at row 0.
TEST(OpenmptCrossCheck, FinishedPatternLoopDeparture) {
    songgen::Song song = basicSong(2, 2, 1);
    cell(song, 0, 4, 1) = {0, 0, 0, 0xE, 0x60};
    cell(song, 0, 7, 1) = {0, 0, 0, 0xE, 0x61};
    const std::vector<std::uint8_t> bytes = songgen::write(song);
    const std::vector<RowStart> ours = ourRowStarts(bytes, 44100L * 20);
    const std::vector<RowStart> theirs = openmptRowStarts(bytes, 44100L * 20);
    const std::size_t firstOfOrder1 = 64 + 4; // rows 0..63 plus rows 4..7 once more
    ASSERT_GT(ours.size(), firstOfOrder1);
    ASSERT_GT(theirs.size(), firstOfOrder1);
    EXPECT_EQ(record(ours[firstOfOrder1 - 1].row, theirs[firstOfOrder1 - 1].row), record(63, 63));
    EXPECT_EQ(record(ours[firstOfOrder1].order, ours[firstOfOrder1].row), record(1, 0));
    EXPECT_EQ(record(theirs[firstOfOrder1].order, theirs[firstOfOrder1].row), record(1, 4));
}
