#include "app/timeline.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(partAt(c.before, c.t), c.after) << "part " << c.before << " at t=" << c.t;
    }
}

TEST(Timeline, SpaceStepsAndWraps) {
    EXPECT_EQ(nextPart(2), 3);
    EXPECT_EQ(nextPart(6), 1);
    // Overridden inside a timed range, kept in the 55-60 s gap.
    EXPECT_EQ(partAt(nextPart(2), 15.0), 2);
    EXPECT_EQ(partAt(nextPart(5), 57.0), 6);
}

TEST(Timeline, EndAndFade) {
    EXPECT_FALSE(showIsOver(68.999));
    EXPECT_TRUE(showIsOver(69.0));
    EXPECT_DOUBLE_EQ(fadeOf(0.0), 0.5);
    EXPECT_DOUBLE_EQ(fadeOf(0.2), 0.3);
    EXPECT_DOUBLE_EQ(fadeOf(0.7), 0.0);
}

TEST(Timeline, PulseRestartsTheLongerClockOnlyOnMultiplesOfSix) {
    EXPECT_EQ(pulseToRestart(5, 3.0, 1.0), 0);
    EXPECT_EQ(pulseToRestart(12, 3.0, 1.0), 1);
    EXPECT_EQ(pulseToRestart(12, 1.0, 3.0), 2);
    EXPECT_EQ(pulseToRestart(0, 2.0, 2.0), 2);
}
