#include "platform/crt/random.h"
#include "tests/texgen/testutil.h"
#include "texgen/generators.h"
#include "texgen/noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

using texgen::Plane;
using texgen::test::constant;
using texgen::test::Lcg;

// True when x lies so close to an integer that a truncation in single
// precision may land on either side of it.
bool nearInteger(double x) {
    return std::abs(x - std::round(x)) < 1e-3;
}

// True when no step across the wrap is larger than the largest step inside.
bool seamless(const Plane& p) {
    int inside = 0;
    int across = 0;
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 255; ++j) {
            inside = std::max({inside, std::abs(p.at(j + 1, i) - p.at(j, i)), std::abs(p.at(i, j + 1) - p.at(i, j))});
        }
        across = std::max({across, std::abs(p.at(0, i) - p.at(255, i)), std::abs(p.at(i, 0) - p.at(i, 255))});
    }
    return across <= inside;
}

TEST(Plasma, FirstDrawsSetTheCentreAndFirstQuadrant) {
    for (unsigned seed : {0u, 166u, 4711u}) {
        Plane p;
        texgen::plasma(p, seed, 1);
        Lcg lcg(seed);
        // Level 0: all four corners are pixel (0, 0) = 127, so are the edge midpoints.
        const int centre = std::clamp(((lcg.next() & 511) - 256) + 127, 0, 255);
        EXPECT_EQ((std::array<int, 3>{p.at(0, 0), p.at(128, 0), p.at(128, 128)}), (std::array{127, 127, centre}));
        // Level 1, top-left quadrant: its right and bottom edges average 127 and the centre.
        const int edge = (127 + centre) >> 1;
        const int noise = ((lcg.next() & 511) - 256) >> 1;
        EXPECT_EQ(p.at(128, 64), edge);
        EXPECT_EQ(p.at(64, 64), std::clamp(noise + (127 + 127 + 2 * edge) / 4, 0, 255));
        EXPECT_TRUE(seamless(p));
    }
}

TEST(RadialGradient, FallsFromTheCentreToTheCornersByPower) {
    for (unsigned power : {0u, 2u}) {
        Plane p;
        texgen::radialGradient(p, power);
        for (int y = 0; y < 256; y += 3) {
            for (int x = 0; x < 256; x += 5) {
                const double r = std::hypot(x - 128.0, y - 128.0) / std::sqrt(32768.0);
                const double v = 255.0 * std::pow(1.0 - r, std::pow(2.0, power));
                if (!nearInteger(v)) {
                    EXPECT_EQ(p.at(x, y), static_cast<int>(v)) << x << "," << y;
                }
            }
        }
        EXPECT_EQ(std::pair(p.at(128, 128), p.at(0, 0)), (std::pair<std::uint8_t, std::uint8_t>(255, 0)));
    }
}

TEST(Cells, TorusDistanceStretchedToBothEnds) {
    Plane p;
    texgen::cells(p, 9, 0, 1);
    Lcg lcg(9);
    const int px = lcg.next() & 255;
    const int py = lcg.next() & 255;
    for (int y = 0; y < 256; y += 7) {
        for (int x = 0; x < 256; x += 3) {
            const int dx = std::min(std::abs(x - px), 256 - std::abs(x - px));
            const int dy = std::min(std::abs(y - py), 256 - std::abs(y - py));
            const double v = std::hypot(dx, dy) / std::hypot(128, 128) * 255.0;
            if (!nearInteger(v)) {
                EXPECT_EQ(p.at(x, y), static_cast<int>(v)) << x << "," << y;
            }
        }
    }
    texgen::cells(p, 219, 3, 23);
    const auto [lo, hi] = std::minmax_element(p.pixels.begin(), p.pixels.end());
    EXPECT_EQ(std::pair(*lo, *hi), (std::pair<std::uint8_t, std::uint8_t>(0, 255)));
    texgen::cells(p, 1, 7, 5); // no such mode: one flat value, 0 after the stretch
    EXPECT_TRUE(p.pixels == constant(0).pixels);
}

TEST(RandomBlocks, OneDrawPerBlockRowByRowAndNoneForEqualBounds) {
    Plane p;
    texgen::randomBlocks(p, 5, 0x12, 10, 50); // 2 blocks across, 4 down
    Lcg lcg(5);
    for (int by = 0; by < 4; ++by) {
        for (int bx = 0; bx < 2; ++bx) {
            const int value = 10 + lcg.next() % 40;
            EXPECT_EQ((std::pair<int, int>(p.at(bx * 128, by * 64), p.at(bx * 128 + 127, by * 64 + 63))),
                      std::pair(value, value));
        }
    }
    platform::crt::srand(7);
    texgen::randomBlocks(p, 99, 0x33, 42, 42);
    EXPECT_TRUE(p.pixels == constant(42).pixels);
    EXPECT_EQ(platform::crt::rand(), Lcg(7).next());
}

TEST(BitPattern, MasksAndShiftsCoordinateBits) {
    Plane p;
    texgen::bitPattern(p, 56, 48);
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(p.at(x, x * 7), ((x / 8) % 4) * 64); // stripes 8 wide: 0, 64, 128, 192
    }
    texgen::bitPattern(p, 0x54, 0x02);
    EXPECT_EQ(p.at(0xB7, 0x3C), (0xA0 ^ 0xC0));
}

TEST(Shapes, CheckerboardBricksAndTilesWithRemainders) {
    Plane p;
    texgen::shapes(p, 0, 10, 20, 0x12, 0); // 2 squares across, 4 down
    EXPECT_EQ((std::array<int, 3>{p.at(0, 0), p.at(128, 0), p.at(0, 64)}), (std::array{20, 10, 10}));
    // Bricks 0x31: 4 across (64 wide), 2 rows (128 high); row 0 shifted by 32.
    texgen::shapes(p, 1, 1, 2, 0x31, 0);
    for (int x : {32, 96, 160, 224}) {
        EXPECT_EQ((std::array<int, 3>{p.at(x, 50), p.at(x + 1, 50), p.at(x - 32, 200)}), (std::array{1, 2, 1})) << x;
    }
    // 3 across, 85 wide with 1 column left over: it joins the last brick, so
    // the (shifted) row has mortar at 42, 127 and 212 only.
    texgen::shapes(p, 1, 1, 2, 0x20, 0);
    int mortar = 0;
    for (int x = 0; x < 256; ++x) {
        mortar += p.at(x, 9) == 1;
    }
    EXPECT_EQ((std::pair<int, int>(mortar, p.at(42 + 170, 9))), std::pair(3, 1));
    // Tiles 0x11 (128 x 128 cells) of side 40: inside 1..39, grout elsewhere.
    texgen::shapes(p, 2, 1, 2, 0x11, 40);
    EXPECT_EQ((std::pair<int, int>(p.at(1, 1), p.at(40, 5))), std::pair(2, 1));
    p = constant(77);
    texgen::shapes(p, 3, 1, 2, 0x11, 40);
    EXPECT_EQ(p.at(5, 5), 77);
}

TEST(SpotsAndGlows, PeakAtTheDrawnCentres) {
    Lcg lcg(31);
    const int cx = lcg.next() & 255;
    const int cy = lcg.next() & 255;
    Plane p;
    texgen::glows(p, 31, 1, 20);
    EXPECT_EQ((std::pair<int, int>(p.at(cx, cy), *std::max_element(p.pixels.begin(), p.pixels.end()))),
              std::pair(20 * 20 / 8, 50));
    texgen::spots(p, 31, 2, 1, 20);
    // 255 at the centre, 255 (1 - 5/10)^2 five pixels away, nothing at ten.
    EXPECT_EQ((std::array<int, 3>{p.at(cx, cy), p.at(cx + 5, cy), p.at(cx - 10, cy)}), (std::array{255, 63, 0}));
}

TEST(Noise, CubicLatticeAndFlatPlanes) {
    // P = (7 + 2) - (3 - 5) = 11, Q = -2 - 11 = -13, R = -5: at 0.5, 11/8 - 13/4 - 5/2 + 5.
    EXPECT_FLOAT_EQ(texgen::cubicInterp(0.0f, 3, 5, -2, 7), 5.0f);
    EXPECT_FLOAT_EQ(texgen::cubicInterp(0.5f, 3, 5, -2, 7), 0.625f);
    EXPECT_FLOAT_EQ(texgen::cubicInterp(1.0f, 3, 5, -2, 7), -2.0f);

    platform::crt::srand(3);
    Lcg lcg(3);
    for (float v : texgen::noiseLattice(4, 2, 0.5f)) {
        EXPECT_NEAR(v, (lcg.next() - 16383.5) / 16383.5 * 0.5, 1e-6);
    }
    // A 1 x 1 lattice (size nibbles above 8) interpolates four equal values.
    Plane p;
    texgen::valueNoise(p, 8, 0x9F);
    const double a = (Lcg(8).next() - 16383.5) / 16383.5;
    EXPECT_TRUE(p.pixels == constant(static_cast<int>((a + 1) * 127)).pixels);
    texgen::fractalNoise(p, 8, 0x55, 6); // no octaves at all
    EXPECT_TRUE(p.pixels == constant(127).pixels);
    texgen::fractalNoise(p, 24, 0x55, 1);
    EXPECT_TRUE(seamless(p));
}

// Fractal noise draws 6 - reduction octaves, each lattice twice as fine as the
// last: base 0x11 starts at 2 x 2, so the octaves draw 4, 16, 64, 256, ... values.
TEST(Noise, FractalOctavesCountAndHalveTheirAmplitude) {
    Plane p;
    for (unsigned reduction = 0; reduction <= 6; ++reduction) {
        texgen::fractalNoise(p, 5, 0x11, reduction);
        Lcg lcg(5);
        for (unsigned octave = 0; octave + reduction < 6; ++octave) {
            for (int n = 0; n < (4 << (2 * octave)); ++n) {
                lcg.next();
            }
        }
        EXPECT_EQ(platform::crt::rand(), lcg.next()) << "reduction " << reduction;
    }
    // Base 0x88: both octaves of reduction 4 are 256 x 256 lattices, one
    // value per pixel, at amplitudes 0.5 and 0.25.
    texgen::fractalNoise(p, 9, 0x88, 4);
    Lcg lcg(9);
    std::vector<double> first(texgen::kPlaneSize);
    for (double& v : first) {
        v = (lcg.next() - 16383.5) / 16383.5 * 0.5;
    }
    int off = 0;
    for (std::size_t i = 0; i < texgen::kPlaneSize; ++i) {
        const double second = (lcg.next() - 16383.5) / 16383.5 * 0.25;
        const double expected = std::clamp((first[i] + second + 1.0) * 127.0, 0.0, 255.0);
        off += std::abs(p.pixels[i] - std::trunc(expected)) > 1.0 ? 1 : 0;
    }
    EXPECT_EQ(off, 0);
}

} // namespace
