// Audio output and the song clock: block and ring sizes, the kept PCM of the
// virtual sink against an independent render, the position the clock
// reports, determinism of two virtual runs, and a live start, play and stop
// on the wall-clock null sink (the run the thread sanitizer watches).

#include "music/mixer.h"
#include "music/output.h"
#include "music/render.h"
#include "music/songclock.h"
#include "music/xmloader.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"
#include "platform/winmm/wavesink.h"
#include "resources/song/song.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr std::uint64_t kFrameNs = 1'000'000'000 / 60;
constexpr int kBlock = 884;

struct VirtualRun {
    std::vector<std::uint8_t> pcm;
    std::vector<std::pair<int, int>> positions; // order, row after each frame
    std::vector<std::size_t> playedFrames;      // frames the sink had played by then
    std::pair<int, int> afterStart;             // order, row right after start
};

VirtualRun runVirtual(int frames) {
    VirtualRun run;
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    platform::kernel::useVirtualClock(kFrameNs);
    {
        music::SongClock clock(resources::kSongModule, resources::kSongModuleSize);
        platform::winmm::keepWaveOutPcm(true);
        clock.start();
        run.afterStart = {clock.order(), clock.row()};
        for (int f = 0; f < frames; ++f) {
            platform::kernel::advanceVirtualFrame();
            run.positions.emplace_back(clock.order(), clock.row());
            const std::vector<std::uint8_t> more = platform::winmm::takeWaveOutPcm();
            run.pcm.insert(run.pcm.end(), more.begin(), more.end());
            run.playedFrames.push_back(run.pcm.size() / 4);
        }
        clock.shutdown();
        platform::winmm::keepWaveOutPcm(false);
    }
    platform::kernel::useWallClock();
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
    return run;
}

// The song rendered without any device, block by block as the output fills
// them, with the position each block reached.
struct OfflineRender {
    std::vector<std::uint8_t> pcm;
    std::vector<std::pair<int, int>> records;
};

OfflineRender renderOffline(int blocks) {
    OfflineRender out;
    music::useMemorySource(resources::kSongModule, resources::kSongModuleSize);
    music::Module* m = music::loadModule();
    EXPECT_NE(m, nullptr);
    music::prepareRender(m, 44100);
    std::vector<float> mix(2 * kBlock);
    std::vector<std::int16_t> pcm(2 * kBlock);
    for (int b = 0; b < blocks; ++b) {
        std::fill(mix.begin(), mix.end(), 0.0f);
        music::renderFrames(m, mix.data(), kBlock);
        music::convertToPcm16(pcm.data(), mix.data(), kBlock);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(pcm.data());
        out.pcm.insert(out.pcm.end(), bytes, bytes + pcm.size() * 2);
        out.records.emplace_back(m->order, m->row);
    }
    music::freeModule(m);
    return out;
}

} // namespace

TEST(Output, RefusesWithoutSourceSizesTheRingAndStopsAFreedModule) {
    music::setSourceCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(music::openOutput(44100, 0));
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    music::useMemorySource(resources::kSongModule, resources::kSongModuleSize);
    ASSERT_TRUE(music::openOutput(44100, 0));
    EXPECT_EQ((std::vector<int>{music::blockFrames(), music::ringFrames(), music::rampLength()}),
              (std::vector<int>{884, 884000, 128}));
    EXPECT_FALSE(music::startPlayback(nullptr));
    EXPECT_FALSE(music::stopPlayback(nullptr));
    EXPECT_EQ(std::make_pair(music::currentOrder(nullptr), music::currentRow(nullptr)), std::make_pair(0, 0));
    // Freeing the playing module stops it first.
    music::Module* m = music::loadModule();
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(music::startPlayback(m));
    ASSERT_EQ(music::playingModule(), m);
    music::freeModule(m);
    EXPECT_EQ(music::playingModule(), nullptr);
    music::closeOutput();
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
}

TEST(SongClock, WithoutASongReportsZeroAndStartDoesNothing) {
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    const unsigned char junk[] = "not a module at all";
    music::SongClock clock(junk, sizeof junk);
    EXPECT_EQ(clock.module(), nullptr);
    clock.start();
    EXPECT_EQ(music::playingModule(), nullptr);
    EXPECT_EQ(std::make_pair(clock.order(), clock.row()), std::make_pair(0, 0));
    clock.shutdown();
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
}

TEST(SongClock, VirtualRunsKeepTheRenderedPcmAndReportThePlayingBlock) {
    const int frames = 25 * 60; // longer than the 20 s ring, so blocks are refilled
    const VirtualRun first = runVirtual(frames);
    const VirtualRun second = runVirtual(frames);
    ASSERT_GT(first.pcm.size(), 4u * 44100 * 24);
    EXPECT_EQ(first.pcm, second.pcm);
    EXPECT_EQ(first.positions, second.positions);

    const int blocks = static_cast<int>(first.pcm.size() / 4 / kBlock) + 2;
    const OfflineRender offline = renderOffline(blocks);
    ASSERT_GE(offline.pcm.size(), first.pcm.size());
    EXPECT_TRUE(std::equal(first.pcm.begin(), first.pcm.end(), offline.pcm.begin()));

    // The clock reports the record of the block the sink is in, as the audio
    // thread saw it at its last poll (up to 5 ms, 221 frames, earlier).
    EXPECT_EQ(first.afterStart, offline.records.front()); // the row the first block reached
    EXPECT_EQ(first.afterStart.first, 0);
    int matched = 0;
    for (std::size_t i = 0; i < first.positions.size(); ++i) {
        const std::size_t now = first.playedFrames[i] / kBlock;
        const std::size_t polled = (first.playedFrames[i] - std::min<std::size_t>(221, first.playedFrames[i])) / kBlock;
        const bool same = first.positions[i] == offline.records[now] || first.positions[i] == offline.records[polled];
        EXPECT_TRUE(same) << "frame " << i;
        matched += same ? 1 : 0;
    }
    EXPECT_EQ(matched, frames);
    EXPECT_GE(first.positions.back().first, 9); // order 9 begins at 22.7 s
}

TEST(SongClock, LiveStartPlayAndStopOnTheNullSink) {
    // A driver name that does not exist: no device opens, the null sink takes over.
    setenv("SDL_AUDIODRIVER", "riza3v-none", 1);
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
    {
        music::SongClock clock(resources::kSongModule, resources::kSongModuleSize);
        EXPECT_TRUE(platform::winmm::waveOutUsesNullSink());
        ASSERT_NE(clock.module(), nullptr);
        clock.start();
        EXPECT_EQ(music::playingModule(), clock.module());
        // The first pattern lasts 2.5 s. Read often while the audio thread
        // refills blocks: a read must never see a block's record already
        // rewritten with the position a ring length (20 s) ahead.
        int row = clock.row();
        int lastRow = 0;
        int reads = 0;
        for (int wait = 0; wait < 4000 && row < 48; ++wait) {
            Sleep(1);
            const int order = clock.order();
            row = clock.row();
            ASSERT_EQ(order, 0) << "read " << wait;
            ASSERT_GE(row, lastRow) << "read " << wait;
            lastRow = row;
            ++reads;
        }
        EXPECT_GE(row, 48); // the position moves on with the wall clock
        EXPECT_GT(reads, 100);
        // Stopping right after a start, while the audio thread may be in its first fill.
        music::Module* m = music::playingModule();
        for (int again = 0; again < 3; ++again) {
            EXPECT_TRUE(music::startPlayback(m));
            EXPECT_TRUE(music::stopPlayback(m));
            EXPECT_EQ(music::playingModule(), nullptr);
        }
        clock.shutdown();
        EXPECT_EQ(music::playingModule(), nullptr);
        EXPECT_EQ(clock.order(), 0);
    }
    unsetenv("SDL_AUDIODRIVER");
}
