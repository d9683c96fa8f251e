// The grid that turns present times into video frames.
#include "tools/capture/framegrid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::uint64_t kMs = 1'000'000;

// 1 x 1 pictures whose red byte names them; 0 is the black before any present.
struct Recorder {
    std::vector<std::pair<long, int>> frames; // grid number, picture
    capture::FrameGrid grid(long first, long end) {
        return capture::FrameGrid(10, 1, 1, first, end,
                                  [this](long n, const std::uint8_t* rgba) { frames.emplace_back(n, rgba[0]); });
    }
};

void present(capture::FrameGrid& grid, std::uint64_t ns, int picture) {
    const std::uint8_t rgba[4] = {static_cast<std::uint8_t>(picture), 0, 0, 0xFF};
    grid.presented(ns, rgba);
}

// At 10 fps grid frame n is show time n * 100 ms and shows the picture
// presented nearest to it, held until the next one.
TEST(FrameGrid, NearestPictureHeldUntilReplaced) {
    Recorder r;
    capture::FrameGrid grid = r.grid(0, 8);
    present(grid, 260 * kMs, 1); // nearest to frame 3: frames 0-2 are still black
    present(grid, 349 * kMs, 2); // also frame 3: replaces picture 1
    present(grid, 551 * kMs, 3); // frame 6: frames 3-5 hold picture 2
    grid.finish(8);
    const std::vector<std::pair<long, int>> expected = {{0, 0}, {1, 0}, {2, 0}, {3, 2}, {4, 2}, {5, 2}, {6, 3}, {7, 3}};
    EXPECT_EQ(r.frames, expected);
    EXPECT_TRUE(grid.done());
}

TEST(FrameGrid, KeepsOnlyTheRangeAndStopsAtItsEnd) {
    Recorder r;
    capture::FrameGrid grid = r.grid(2, 4);
    present(grid, 0, 1);
    present(grid, 300 * kMs, 2);
    EXPECT_FALSE(grid.done());
    present(grid, 900 * kMs, 3); // past the end: frame 3 is decided, picture 3 is never shown
    EXPECT_TRUE(grid.done());
    grid.finish(10);
    const std::vector<std::pair<long, int>> expected = {{2, 1}, {3, 2}};
    EXPECT_EQ(r.frames, expected);
}

TEST(FrameGrid, FrameAtRoundsToTheNearestFrameWithoutDrift) {
    EXPECT_EQ(capture::FrameGrid::frameAt(0, 60), 0);
    EXPECT_EQ(capture::FrameGrid::frameAt(8'333'332, 60), 0); // just under half a frame
    EXPECT_EQ(capture::FrameGrid::frameAt(8'333'334, 60), 1); // just over
    EXPECT_EQ(capture::FrameGrid::frameAt(69'000'000'000u, 60), 4140);
    EXPECT_EQ(capture::FrameGrid::frameAt(68'991'000'000u, 60), 4139); // 0.54 frame early
}

} // namespace
