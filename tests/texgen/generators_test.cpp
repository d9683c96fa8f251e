#include "platform/crt/random.h"
#include "texgen/generators.h"
#include "texgen/noise.h"
#include "tests/texgen/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using texgen::Plane;
using texgen_test::Lcg;

// True when the real value x lies so close to an integer that a truncation in
// single precision may land on either side of it.
bool nearInteger(double x, double within = 1e-3)
{
    return std::abs(x - std::round(x)) < within;
}

// The largest step between neighbours inside the plane, and across its wrap.
struct Steps {
    int inside = 0;
    int across = 0;
};
Steps steps(const Plane& p)
{
    Steps s;
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 255; ++j) {
            s.inside = std::max({s.inside, std::abs(p.at(j + 1, i) - p.at(j, i)), std::abs(p.at(i, j + 1) - p.at(i, j))});
        }
        s.across = std::max({s.across, std::abs(p.at(0, i) - p.at(255, i)), std::abs(p.at(i, 0) - p.at(i, 255))});
    }
    return s;
}

TEST(Fill, ZeroValueOrGreyWhateverTheParameter)
{
    Plane p;
    texgen::fill(p, 200);
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [](auto v) { return v == 200; }));
    texgen::fillGrey(p, 3);
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [](auto v) { return v == 128; }));
}

TEST(Plasma, FirstDrawsSetTheCentreAndFirstQuadrant)
{
    for (unsigned seed : {0u, 166u, 4711u}) {
        Plane p;
        texgen::plasma(p, seed, 1);
        Lcg lcg(seed);
        // Level 0: all four corners are pixel (0, 0) = 127, so are the edge midpoints.
        const int centre = std::clamp(((lcg.next() & 511) - 256) + 127, 0, 255);
        EXPECT_EQ(p.at(0, 0), 127);
        EXPECT_EQ(p.at(128, 0), 127);
        EXPECT_EQ(p.at(0, 128), 127);
        EXPECT_EQ(p.at(128, 128), centre);
        // Level 1, top-left quadrant: its right and bottom edges average 127 and the centre.
        const int edge = (127 + centre) >> 1;
        const int noise = ((lcg.next() & 511) - 256) >> 1;
        EXPECT_EQ(p.at(128, 64), edge);
        EXPECT_EQ(p.at(64, 128), edge);
        EXPECT_EQ(p.at(64, 64), std::clamp(noise + (127 + 127 + 2 * edge) / 4, 0, 255));
    }
}

TEST(Plasma, RepeatsForASeedAndHasNoSeamAtTheWrap)
{
    Plane a;
    Plane b;
    texgen::plasma(a, 77, 1);
    crt::rand();
    texgen::plasma(b, 77, 1);
    EXPECT_TRUE(a.pixels == b.pixels);
    // Across the wrap the steps are no larger than those inside the plane.
    const Steps s = steps(a);
    EXPECT_LE(s.across, s.inside);
}

TEST(RadialGradient, FallsFromTheCentreToTheCornersByPower)
{
    for (unsigned power : {0u, 2u}) {
        Plane p;
        texgen::radialGradient(p, power);
        int checked = 0;
        for (int y = 0; y < 256; y += 3) {
            for (int x = 0; x < 256; x += 5) {
                const double r = std::hypot(x - 128.0, y - 128.0) / std::sqrt(32768.0);
                const double v = 255.0 * std::pow(1.0 - r, std::pow(2.0, power));
                if (!nearInteger(v)) {
                    EXPECT_EQ(p.at(x, y), static_cast<int>(v)) << x << "," << y;
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 4000);
        EXPECT_EQ(p.at(128, 128), 255);
        EXPECT_EQ(p.at(0, 0), 0);
    }
}

TEST(Cells, OnePointGivesTheTorusDistanceStretched)
{
    Plane p;
    texgen::cells(p, 9, 0, 1);
    Lcg lcg(9);
    const int px = lcg.next() & 255;
    const int py = lcg.next() & 255;
    const double farthest = std::sqrt(2.0 * 128 * 128);
    for (int y = 0; y < 256; y += 7) {
        for (int x = 0; x < 256; x += 3) {
            const int dx = std::min(std::abs(x - px), 256 - std::abs(x - px));
            const int dy = std::min(std::abs(y - py), 256 - std::abs(y - py));
            const double v = std::hypot(dx, dy) / farthest * 255.0;
            if (!nearInteger(v)) {
                EXPECT_EQ(p.at(x, y), static_cast<int>(v)) << x << "," << y;
            }
        }
    }
}

TEST(Cells, StretchReachesBothEndsAndFlatPlanesBecomeZero)
{
    Plane p;
    texgen::cells(p, 219, 3, 23);
    const auto [lo, hi] = std::minmax_element(p.pixels.begin(), p.pixels.end());
    EXPECT_EQ(*lo, 0);
    EXPECT_EQ(*hi, 255);
    // A mode without a value gives one flat value: 0 after the stretch.
    texgen::fill(p, 9);
    texgen::cells(p, 1, 7, 5);
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [](auto v) { return v == 0; }));
}

TEST(RandomBlocks, DrawsOneValuePerBlockRowByRow)
{
    Plane p;
    texgen::randomBlocks(p, 5, 0x12, 10, 50); // 2 blocks across, 4 down
    Lcg lcg(5);
    for (int by = 0; by < 4; ++by) {
        for (int bx = 0; bx < 2; ++bx) {
            const int value = 10 + lcg.next() % 40;
            EXPECT_EQ(p.at(bx * 128, by * 64), value);
            EXPECT_EQ(p.at(bx * 128 + 127, by * 64 + 63), value);
        }
    }
}

TEST(RandomBlocks, EqualBoundsFillWithoutDrawing)
{
    crt::srand(7);
    Plane p;
    texgen::randomBlocks(p, 99, 0x33, 42, 42);
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [](auto v) { return v == 42; }));
    EXPECT_EQ(crt::rand(), Lcg(7).next());
}

TEST(BitPattern, MasksAndShiftsCoordinateBits)
{
    Plane p;
    texgen::bitPattern(p, 56, 48);
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(p.at(x, x * 7), ((x / 8) % 4) * 64); // stripes 8 wide: 0, 64, 128, 192
    }
    texgen::bitPattern(p, 0x54, 0x02);
    for (int y = 0; y < 256; y += 9) {
        for (int x = 0; x < 256; x += 11) {
            EXPECT_EQ(p.at(x, y), ((x & 0xE0) ^ ((y & 0xF0) * 4)) & 255);
        }
    }
}

TEST(Shapes, CheckerboardBricksAndTiles)
{
    Plane p;
    texgen::shapes(p, 0, 10, 20, 0x12, 0); // 2 squares across, 4 down
    EXPECT_EQ(p.at(0, 0), 20);
    EXPECT_EQ(p.at(128, 0), 10);
    EXPECT_EQ(p.at(0, 64), 10);
    EXPECT_EQ(p.at(200, 100), 20);
    texgen::shapes(p, 0, 10, 20, 0x90, 0); // a nibble above 8: one square across
    EXPECT_EQ(p.at(0, 0), p.at(255, 255));

    // Bricks 0x31: 4 across (64 wide), 2 rows (128 high); row 0 shifted by 32.
    texgen::shapes(p, 1, 1, 2, 0x31, 0);
    for (int x : {32, 96, 160, 224}) {
        EXPECT_EQ(p.at(x, 50), 1) << x;
        EXPECT_EQ(p.at(x + 1, 50), 2) << x;
    }
    for (int x : {0, 64, 128, 192}) {
        EXPECT_EQ(p.at(x, 200), 1) << x;
        EXPECT_EQ(p.at(x - 1, 200), 2) << x;
    }
    EXPECT_EQ(p.at(77, 0), 1);
    EXPECT_EQ(p.at(77, 128), 1);
    // 3 across (85 wide, 1 left over): the extra column joins the last brick.
    texgen::shapes(p, 1, 1, 2, 0x20, 0);
    EXPECT_EQ(p.at(42, 9), 1);
    EXPECT_EQ(p.at(42 + 85, 9), 1);
    EXPECT_EQ(p.at(42 + 170, 9), 1);
    EXPECT_EQ(p.at(41, 9), 2);

    // Tiles 0x11 (128 x 128 cells) of side 40: inside 1..39, grout elsewhere.
    texgen::shapes(p, 2, 1, 2, 0x11, 40);
    EXPECT_EQ(p.at(1, 1), 2);
    EXPECT_EQ(p.at(39, 39), 2);
    EXPECT_EQ(p.at(40, 5), 1);
    EXPECT_EQ(p.at(0, 5), 1);
    EXPECT_EQ(p.at(129, 129), 2);

    texgen::fill(p, 77);
    texgen::shapes(p, 3, 1, 2, 0x11, 40);
    EXPECT_EQ(p.at(5, 5), 77);
}

TEST(SpotsAndGlows, PeakAtTheDrawnCentres)
{
    Lcg lcg(31);
    const int cx = lcg.next() & 255;
    const int cy = lcg.next() & 255;
    Plane p;
    texgen::glows(p, 31, 1, 20);
    EXPECT_EQ(p.at(cx, cy), 20 * 20 / 8);
    EXPECT_EQ(*std::max_element(p.pixels.begin(), p.pixels.end()), 50);
    EXPECT_EQ(p.at(cx + 10, cy), 0);

    texgen::spots(p, 31, 2, 1, 20);
    EXPECT_EQ(p.at(cx, cy), 255);
    // At distance 5 of radius 10: 255 * (1 - 0.5)^2.
    EXPECT_EQ(p.at(cx + 5, cy), 63);
    EXPECT_EQ(p.at(cx + 10, cy), 0);
    EXPECT_EQ(p.at(cx - 10, cy), 0);
    // A diameter below 2 draws nothing.
    texgen::spots(p, 31, 1, 1, 1);
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [](auto v) { return v == 0; }));
}

TEST(SineWaves, OnePeriodAcrossForFrequencyOne)
{
    Plane p;
    texgen::sineWaves(p, 0, 0, 1, 0);
    for (int x = 0; x < 256; ++x) {
        // The angle grows by repeated single-precision addition: allow its drift.
        const double v = 127 + 63.5 * std::sin(x * 3.1415 / 128);
        if (!nearInteger(v, 0.05)) {
            EXPECT_EQ(p.at(x, 40), 127 + static_cast<int>(63.5 * std::sin(x * 3.1415 / 128))) << x;
        }
    }
    texgen::sineWaves(p, 255, 17, 9, 200);
    const auto [lo, hi] = std::minmax_element(p.pixels.begin(), p.pixels.end());
    EXPECT_GE(*lo, 1);
    EXPECT_LE(*hi, 253);
}

TEST(Noise, CubicPassesThroughTheInnerPoints)
{
    EXPECT_FLOAT_EQ(texgen::cubicInterp(0.0f, 3, 5, -2, 7), 5.0f);
    EXPECT_FLOAT_EQ(texgen::cubicInterp(1.0f, 3, 5, -2, 7), -2.0f);
    // P = (7 + 2) - (3 - 5) = 11, Q = -2 - 11 = -13, R = -5: 11/8 - 13/4 - 5/2 + 5.
    EXPECT_FLOAT_EQ(texgen::cubicInterp(0.5f, 3, 5, -2, 7), 0.625f);
}

TEST(Noise, LatticeDrawsInOrderWithinAmplitude)
{
    crt::srand(3);
    const auto lattice = texgen::noiseLattice(4, 2, 0.5f);
    ASSERT_EQ(lattice.size(), 8u);
    Lcg lcg(3);
    for (float v : lattice) {
        EXPECT_NEAR(v, (lcg.next() - 16383.5) / 16383.5 * 0.5, 1e-6);
    }
}

TEST(Noise, SingleLatticeValueGivesAFlatPlane)
{
    // A 1 x 1 lattice (size nibbles 0, or above 8) interpolates four equal values.
    Plane p;
    texgen::valueNoise(p, 8, 0x9F);
    const double a = (Lcg(8).next() - 16383.5) / 16383.5;
    const int expected = static_cast<int>(std::clamp((a + 1) * 127, 0.0, 255.0));
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [&](auto v) { return v == expected; }));
    // No octaves at all from reduction 6: 0 + 1 times 127.
    texgen::fractalNoise(p, 8, 0x55, 6);
    EXPECT_TRUE(std::all_of(p.pixels.begin(), p.pixels.end(), [](auto v) { return v == 127; }));
}

TEST(Noise, FractalOctavesStayNearMidGreyAndTile)
{
    Plane p;
    texgen::fractalNoise(p, 24, 0x55, 1);
    long sum = 0;
    for (auto v : p.pixels) {
        sum += v;
    }
    // Amplitudes 0.5 + 0.25 + ... < 1 around 127.
    EXPECT_NEAR(static_cast<double>(sum) / 65536.0, 127.0, 8.0);
    const Steps s = steps(p);
    EXPECT_LE(s.across, s.inside);
}

} // namespace
