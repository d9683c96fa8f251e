#include "platform/crt/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

namespace {

// The sequence MSVC's rand() is documented to produce after srand(1) (and
// without any srand call), as printed by countless sample programs.
constexpr int kSeedOneDraws[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

TEST(CrtRandom, StartsAsIfSeededWithOne) {
    // Each test runs in a process of its own, so nothing has drawn before.
    for (int expected : kSeedOneDraws) {
        EXPECT_EQ(platform::crt::rand(), expected);
    }
}

TEST(CrtRandom, FollowsTheLinearCongruenceForAnySeed) {
    // Worked by hand: seed 0xFFFFFFFF is -1 mod 2^32, so the state becomes
    // 2531011 - 214013 = 2316998 = 0x235AC6, bits 16..30 = 0x23 = 35;
    // seed 0: 2531011 = 0x269EC3 -> 0x26 = 38.
    platform::crt::srand(0xFFFFFFFFu);
    EXPECT_EQ(platform::crt::rand(), 35);
    platform::crt::srand(0);
    EXPECT_EQ(platform::crt::rand(), 38);
    platform::crt::srand(1); // reseeding restarts the sequence
    EXPECT_EQ(platform::crt::rand(), kSeedOneDraws[0]);
}

TEST(CrtRandom, OneStateForTheWholeProcess) {
    // Unlike a per-thread runtime state, a draw on another thread advances the
    // sequence that the main thread continues.
    platform::crt::srand(1);
    int drawnElsewhere = -1;
    std::thread other([&] { drawnElsewhere = platform::crt::rand(); });
    other.join();
    EXPECT_EQ(drawnElsewhere, kSeedOneDraws[0]);
    EXPECT_EQ(platform::crt::rand(), kSeedOneDraws[1]);
}

} // namespace
