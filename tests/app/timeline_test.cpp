#include "app/timeline.h"

#include "platform/kernel/clock.h"

#include <gtest/gtest.h>

#include <iterator>
#include <thread>

struct PartCase {
    int before;
    double t;
    int after;
};

TEST(Timeline, TimeRulePicksSceneWithStrictBoundaries) {
    const PartCase cases[] = {
        {4, 0.0, 1},  {4, 9.99, 1}, {1, 10.0, 1}, {1, 10.01, 2}, {2, 23.0, 2},
        {2, 23.5, 6}, {6, 33.0, 6}, {6, 33.5, 3}, {3, 50.0, 3},  {3, 50.5, 5},
        {5, 55.0, 5}, {3, 57.0, 3}, {5, 60.0, 5}, {5, 60.01, 4}, {2, 68.9, 4},
    };
    for (const PartCase& c : cases) {
        EXPECT_EQ(app::partAt(c.before, c.t), c.after) << "part " << c.before << " at t=" << c.t;
    }
}

// The scenes as they play: 1, 2, 6, 3, 5, 4 over 0-10, 10-23, 23-33, 33-50,
// 50-60 (scene 5 runs on through 55-60, which no rule names) and 60-69 s.
TEST(Timeline, SpansInPlayOrderFollowTheTimeRule) {
    const app::SceneSpan expected[] = {{1, 0, 10}, {2, 10, 23}, {6, 23, 33}, {3, 33, 50}, {5, 50, 60}, {4, 60, 69}};
    const auto spans = app::scenesInPlayOrder();
    ASSERT_EQ(spans.size(), std::size(expected));
    for (std::size_t i = 0; i < spans.size(); ++i) {
        EXPECT_EQ(spans[i].part, expected[i].part) << i;
        EXPECT_DOUBLE_EQ(spans[i].from, expected[i].from) << i;
        EXPECT_DOUBLE_EQ(spans[i].to, expected[i].to) << i;
    }
}

TEST(Timeline, SpaceStepsAndWraps) {
    EXPECT_EQ(app::nextPart(2), 3);
    EXPECT_EQ(app::nextPart(6), 1);
    // Overridden inside a timed range, kept in the 55-60 s gap.
    EXPECT_EQ(app::partAt(app::nextPart(2), 15.0), 2);
    EXPECT_EQ(app::partAt(app::nextPart(5), 57.0), 6);
}

TEST(Timeline, EndAndFade) {
    EXPECT_FALSE(app::showIsOver(68.999));
    EXPECT_TRUE(app::showIsOver(69.0));
    EXPECT_DOUBLE_EQ(app::fadeOf(0.0), 0.5);
    EXPECT_DOUBLE_EQ(app::fadeOf(0.2), 0.3);
    EXPECT_DOUBLE_EQ(app::fadeOf(0.7), 0.0);
}

TEST(Timeline, PulseRestartsTheLongerClockOnlyOnMultiplesOfSix) {
    EXPECT_EQ(app::pulseToRestart(5, 3.0, 1.0), 0);
    EXPECT_EQ(app::pulseToRestart(12, 3.0, 1.0), 1);
    EXPECT_EQ(app::pulseToRestart(12, 1.0, 3.0), 2);
    EXPECT_EQ(app::pulseToRestart(0, 2.0, 2.0), 2);
}

// The flash and pulse clocks start with the program from one reading, so the
// first beat always finds the pulse clocks tied. Read on a thread that does
// not drive the virtual clock, time stands still: the three elapsed times
// differ only if their starts do. (No test in this program restarts them.)
TEST(Timeline, TheThreeClocksStartFromOneReading) {
    platform::kernel::useVirtualClock(1'000'000);
    double flash = -1.0;
    double a = -2.0;
    double b = -3.0;
    std::thread reader([&] {
        flash = flashClock().elapsed();
        a = pulseClockA().elapsed();
        b = pulseClockB().elapsed();
    });
    reader.join();
    platform::kernel::useWallClock();
    EXPECT_EQ(flash, a);
    EXPECT_EQ(a, b);
    EXPECT_EQ(app::pulseToRestart(0, a, b), 2);
}
