#include "tests/texgen/testutil.h"
#include "texgen/convolution.h"
#include "texgen/generators.h"
#include "texgen/pointops.h"
#include "texgen/sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using texgen::Plane;
using texgen::test::constant;
using texgen::test::noisyPlane;
using texgen::test::planeOf;

int countDifferent(const Plane& a, const Plane& b, int tolerance = 0) {
    int n = 0;
    for (std::size_t i = 0; i < texgen::kPlaneSize; ++i) {
        n += std::abs(a.pixels[i] - b.pixels[i]) > tolerance;
    }
    return n;
}

// The repeated filter straight from its definition: eight passes, each on the
// previous result, pixel by pixel, the sum divided toward zero by `divisor`.
Plane plainRepeat(const Plane& source, unsigned passes, const Plane* mask, const std::vector<int>& kernel, int n,
                  int divisor) {
    Plane current = source;
    for (unsigned pass = 0; pass < 8; ++pass) {
        Plane next = current;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                if (pass >= (mask != nullptr ? mask->at(x, y) / 32u : passes)) {
                    continue;
                }
                int sum = 0;
                for (int k = 0; k < n * n; ++k) {
                    sum += kernel[static_cast<std::size_t>(k)] * current.at(x - n / 2 + k % n, y - n / 2 + k / n);
                }
                next.at(x, y) = static_cast<std::uint8_t>(std::clamp(sum / divisor, 0, 255));
            }
        }
        current = next;
    }
    return current;
}

const std::vector<int> kBlur = {1, 1, 2, 1, 1, 1, 2, 2, 2, 1, 2, 2, 3, 2, 2, 1, 2, 2, 2, 1, 1, 1, 2, 1, 1};
const std::vector<int> kSharpen = {0, -2, 0, -2, 11, -2, 0, -2, 0};

TEST(RepeatFilter, BlurAndSharpenFollowTheirKernelsPassByPass) {
    const Plane source = noisyPlane(1);
    const Plane mask = noisyPlane(2);
    Plane out;
    using Passes = std::pair<unsigned, const Plane*>; // the parameter, and the mask that overrides it
    for (const auto& [passes, m] : {Passes{0, nullptr}, Passes{1, nullptr}, Passes{3, nullptr}, Passes{0, &mask}}) {
        texgen::blur(out, passes, source, m);
        EXPECT_EQ(countDifferent(out, plainRepeat(source, passes, m, kBlur, 5, 39)), 0) << passes << " " << m;
        texgen::sharpen(out, passes, source, m);
        EXPECT_EQ(countDifferent(out, plainRepeat(source, passes, m, kSharpen, 3, 3)), 0) << passes << " " << m;
    }
}

TEST(RepeatFilter, PassCountsFromMaskAndParameter) {
    const Plane source = noisyPlane(3);
    const Plane full = constant(255);
    Plane a;
    Plane b;
    texgen::blur(a, 0, source, &full); // 255 >> 5 = 7 passes everywhere
    texgen::blur(b, 7, source, nullptr);
    EXPECT_EQ(countDifferent(a, b), 0);
    texgen::blur(a, 9, source, nullptr); // at most eight passes
    texgen::blur(b, 8, source, nullptr);
    EXPECT_EQ(countDifferent(a, b), 0);
}

TEST(Filter3x3, KernelsWithBiasAndUnknownNumbers) {
    Plane dot;
    dot.at(10, 10) = 20;
    Plane out;
    texgen::filter3x3(out, 1, dot); // 0 -1 0 / -1 4 -1 / 0 -1 0, plus 127
    EXPECT_EQ((std::array<int, 3>{out.at(10, 10), out.at(10, 9), out.at(11, 11)}), (std::array{127 + 80, 107, 127}));
    // Kernel 5, 0 -1 0 / 0 0 0 / 0 1 0: the row below minus the row above.
    const Plane ramp = planeOf([](int, int y) { return y; });
    texgen::filter3x3(out, 5, ramp);
    // At row 0: 127 + 1 - 255 across the wrap, clamped.
    EXPECT_EQ((std::pair<int, int>(out.at(7, 100), out.at(7, 0))), std::pair(129, 0));
    texgen::filter3x3(out, 6, ramp); // no kernel 6: the source passes unchanged
    EXPECT_EQ(countDifferent(out, ramp), 0);
    texgen::convolvePlane(out, ramp, kBlur, 5, -1, 0); // -1: divide by the kernel's own sum
    EXPECT_EQ(countDifferent(out, plainRepeat(ramp, 1, nullptr, kBlur, 5, 39)), 0);
}

TEST(Combine, ModesByFormula) {
    const auto clamp = [](int v) { return std::clamp(v, 0, 255); };
    const struct {
        unsigned mode;
        unsigned extra;
        std::function<int(int a, int b, int m)> pixel;
        bool unmasked = false;
    } cases[] = {
        {0, 0, [&](int a, int b, int) { return clamp(a + b); }},
        {1, 0, [&](int a, int b, int) { return clamp(a - b); }},
        {2, 0, [](int a, int b, int) { return a * b / 256; }},
        {3, 0, [](int a, int b, int) { return b == 0 ? a : 0; }},
        {4, 255, [](int a, int, int) { return a == 0 ? 0 : a - 1; }},
        {4, 0, [](int, int b, int) { return b * 255 / 256; }},
        {5, 0, [&](int a, int b, int) { return clamp(a * b + (a + b) / 256); }},
        {4, 100, [](int a, int b, int) { return a * 100 / 256 + b * 155 / 256; }},
        {6, 0, [](int a, int b, int m) { return (255 - m) * a / 256 + b * m / 256; }},
        {7, 0, [&](int a, int b, int) { return clamp(a - b); }},
        {8, 0, [](int a, int b, int) { return std::max(a, b); }},
        {9, 0, [](int a, int b, int) { return std::min(a, b); }},
        {10, 77, [](int a, int b, int) { return a == 77 ? 77 : b; }},
        {10, 256 + 77, [](int a, int b, int) { return a == 77 ? 77 : b; }}, // the extra byte only
        {11, 0, [](int, int, int) { return 9; }},                           // writes nothing
        {6, 0, [](int a, int, int) { return a * 255 / 256; }, true},        // without its mask: a alone, (255 a) >> 8
    };
    Plane a = noisyPlane(5);
    a.at(0, 0) = 77; // equal to mode 10's key
    a.at(1, 0) = 0;
    Plane b = noisyPlane(6);
    b.at(2, 0) = 0;
    const Plane m = noisyPlane(7);
    for (const auto& c : cases) {
        Plane out = constant(9);
        texgen::combine(out, c.mode, c.extra, a, b, c.unmasked ? nullptr : &m);
        int wrong = 0;
        for (std::size_t i = 0; i < texgen::kPlaneSize; ++i) {
            wrong += out.pixels[i] != c.pixel(a.pixels[i], b.pixels[i], m.pixels[i]);
        }
        EXPECT_EQ(wrong, 0) << "mode " << c.mode << " extra " << c.extra << (c.unmasked ? " unmasked" : "");
    }
    Plane out;
    // Mode 8 of program 3's two bit patterns: stripes 64 beat 0, 32 beats stripes 0.
    texgen::bitPattern(a, 56, 48);
    texgen::bitPattern(b, 84, 2);
    texgen::combine(out, 8, 0, a, b, nullptr);
    EXPECT_EQ((std::pair<int, int>(out.at(8, 0), out.at(32, 0))), std::pair(64, 32));
}

// Every branch of each point operation over all 256 inputs, with parameters
// at which the alternatives (another branch, order or rounding) differ. The
// expectations are the documented formulas, evaluated in single precision
// where the rule is stated in floats.
TEST(PointOps, EveryBranchByFormula) {
    const Plane ramp = planeOf([](int x, int) { return x; });
    const Plane mask = planeOf([](int, int y) { return y; }); // row y: amount y
    const auto trunc = [](float f) { return static_cast<int>(f); };
    const auto clamp = [](int v) { return std::clamp(v, 0, 255); };
    const auto lighten = [&](int v, int s) {
        return s > 128 ? trunc(static_cast<float>(v) +
                               static_cast<float>(s - 128) * 0.0078125f * static_cast<float>(255 - v))
                       : (s < 128 ? v * s / 128 : v);
    };
    const auto contrast = [&](int v, int s) {
        const int k = trunc(-100.0f + static_cast<float>(s) / 255.0f * 200.0f);
        const int d = 127 * k / 100; // toward zero: -62 for s = 64, where floor gives -63
        return clamp(trunc(static_cast<float>(v - d) / static_cast<float>(255 - 2 * d) * 255.0f));
    };
    const auto levels = [&](int v, int lo, int hi) {
        return trunc(static_cast<float>(lo) + static_cast<float>(v) * (static_cast<float>(hi - lo) * 0.003921569f));
    };
    const auto fold = [](int v, int f) {
        const int m = v * f;
        return (m & 256) == 0 ? 255 - (m & 255) : m & 255;
    };
    const struct {
        const char* name;
        std::function<void(Plane&)> run;
        std::function<int(int v, int y)> pixel; // row y; -1: not checked
    } cases[] = {
        {"levels 0 255", [&](Plane& o) { texgen::levels(o, 0, 255, ramp); }, [](int v, int) { return v; }},
        {"levels 40 200", [&](Plane& o) { texgen::levels(o, 40, 200, ramp); },
         [&](int v, int) { return levels(v, 40, 200); }},
        {"levels 200 40 falls", [&](Plane& o) { texgen::levels(o, 200, 40, ramp); },
         [&](int v, int) { return levels(v, 200, 40); }},
        // Below lo first, then above hi: with lo above hi every pixel ends at hi.
        {"clamp", [&](Plane& o) { texgen::clampRange(o, 0, 50, 100, ramp); },
         [&](int v, int) { return std::clamp(v, 50, 100); }},
        {"clamp crossed", [&](Plane& o) { texgen::clampRange(o, 0, 100, 50, ramp); }, [](int, int) { return 50; }},
        {"threshold", [&](Plane& o) { texgen::clampRange(o, 1, 50, 100, ramp); },
         [](int v, int) { return v < 50 ? 0 : (v > 100 ? 255 : v); }},
        {"threshold crossed", [&](Plane& o) { texgen::clampRange(o, 7, 100, 50, ramp); },
         [](int v, int) { return v < 100 ? 0 : 255; }},
        {"wrap", [&](Plane& o) { texgen::multiplyWrap(o, 3, ramp); }, [](int v, int) { return (3 * v) % 256; }},
        {"fold 3", [&](Plane& o) { texgen::multiplyWrap(o, 128 + 3, ramp); }, [&](int v, int) { return fold(v, 3); }},
        {"fold 127", [&](Plane& o) { texgen::multiplyWrap(o, 255, ramp); }, [&](int v, int) { return fold(v, 127); }},
        {"invert", [&](Plane& o) { texgen::invert(o, ramp); }, [](int v, int) { return 255 - v; }},
        {"sine bump", [&](Plane& o) { texgen::curve(o, 0, ramp); },
         [&](int v, int) { return trunc(255.0f * std::sin(static_cast<float>(v) * 0.003921569f * 3.1415f)); }},
        {"smoothstep", [&](Plane& o) { texgen::curve(o, 1, ramp); },
         [&](int v, int) {
             const float t = static_cast<float>(v) * 0.003921569f;
             return trunc(255.0f * t * t * (3.0f - 2.0f * t));
         }},
        {"curve 2 writes nothing", [&](Plane& o) { texgen::curve(o, 2, ramp); }, [](int, int) { return 9; }},
        {"lighten 200", [&](Plane& o) { texgen::lightenDarken(o, 200, ramp, nullptr); },
         [&](int v, int) { return lighten(v, 200); }},
        {"lighten 128 keeps", [&](Plane& o) { texgen::lightenDarken(o, 128, ramp, nullptr); },
         [](int v, int) { return v; }},
        {"darken 100", [&](Plane& o) { texgen::lightenDarken(o, 100, ramp, nullptr); },
         [](int v, int) { return v * 100 / 128; }},
        {"lighten by mask", [&](Plane& o) { texgen::lightenDarken(o, 0, ramp, &mask); },
         [&](int v, int y) { return lighten(v, y); }},
        {"brightness 27", [&](Plane& o) { texgen::brightness(o, 27, ramp, nullptr); },
         [&](int v, int) { return clamp(v - 100); }},
        {"brightness 227", [&](Plane& o) { texgen::brightness(o, 227, ramp, nullptr); },
         [&](int v, int) { return clamp(v + 100); }},
        {"brightness by mask", [&](Plane& o) { texgen::brightness(o, 0, ramp, &mask); },
         [&](int v, int y) { return clamp(v + y - 127); }},
        {"contrast 127", [&](Plane& o) { texgen::contrast(o, 127, ramp, nullptr); }, [](int v, int) { return v; }},
        {"contrast 255", [&](Plane& o) { texgen::contrast(o, 255, ramp, nullptr); },
         [](int v, int) { return v < 127 ? 0 : (v > 127 ? 255 : -1); }},
        {"contrast 64", [&](Plane& o) { texgen::contrast(o, 64, ramp, nullptr); },
         [&](int v, int) { return contrast(v, 64); }},
        {"contrast 200", [&](Plane& o) { texgen::contrast(o, 200, ramp, nullptr); },
         [&](int v, int) { return contrast(v, 200); }},
        {"contrast by mask", [&](Plane& o) { texgen::contrast(o, 0, ramp, &mask); },
         [&](int v, int y) { return contrast(v, y); }},
    };
    for (const auto& c : cases) {
        Plane out = constant(9);
        c.run(out);
        int wrong = 0;
        std::string first;
        for (int y = 0; y < 256; y += 17) {
            for (int v = 0; v < 256; ++v) {
                const int expected = c.pixel(v, y);
                if (expected >= 0 && out.at(v, y) != expected && wrong++ == 0) {
                    first = "v " + std::to_string(v) + " row " + std::to_string(y) + ": " +
                            std::to_string(out.at(v, y)) + " for " + std::to_string(expected);
                }
            }
        }
        EXPECT_EQ(wrong, 0) << c.name << ", first at " << first;
    }
    // Spot values worked by hand: the documented examples and the rounding.
    Plane out;
    texgen::levels(out, 0, 69, ramp);
    EXPECT_EQ(out.at(255, 0), 69);
    texgen::contrast(out, 64, ramp, nullptr); // k = -49, d = -62: (v + 62) / 379 * 255
    EXPECT_EQ((std::pair<int, int>(out.at(0, 0), out.at(255, 0))), std::pair(41, 213));
    texgen::curve(out, 0, ramp);
    EXPECT_EQ((std::pair<int, int>(out.at(128, 0), out.at(255, 0))), std::pair(254, 0));
}

TEST(Normalise, StretchesTheRangeAndJointlyOverAllFourInputs) {
    const Plane ramp = planeOf([](int x, int) { return 10 + x / 32; }); // 10..17
    Plane out;
    texgen::normalise(out, ramp);
    EXPECT_EQ((std::array<int, 3>{out.at(0, 0), out.at(100, 0), out.at(255, 0)}),
              (std::array{0, (13 - 10) * 255 / 7, 255}));
    texgen::normalise(out, constant(99));
    EXPECT_TRUE(out.pixels == constant(0).pixels);
    // The second input widens the joint range like the other two.
    texgen::normaliseJoint(out, ramp, constant(34), constant(0), ramp);
    EXPECT_EQ((std::pair<int, int>(out.at(255, 0), out.at(0, 0))), std::pair(17 * 255 / 34, 10 * 255 / 34));
}

TEST(Sampling, BilinearDisplaceTwirlTile) {
    const Plane ramp = planeOf([](int x, int y) { return x + 2 * y; });
    EXPECT_FLOAT_EQ(texgen::sampleBilinear(5.5f, 6.25f, ramp), 18.0f);
    // -0.5 truncates to 0 with fraction -0.5: 1.5 * p(0) - 0.5 * p(1).
    EXPECT_FLOAT_EQ(texgen::sampleBilinear(-0.5f, 0.0f, ramp), -0.5f);

    const Plane across = planeOf([](int x, int) { return x; });
    Plane out;
    // Mode 1 from a plane of 64 at full scale: look 64 pixels to the right.
    const Plane by64 = constant(64);
    texgen::displace(out, 0x90, 255, 0, across, &by64, nullptr);
    EXPECT_EQ(countDifferent(out, planeOf([](int x, int) { return (x + 64) & 255; }), 1), 0);
    // Mode 0 from a vertical ramp 8y: (L - D - R + U) / 2 = -8, looking 8 pixels up.
    const Plane down = planeOf([](int, int y) { return y; });
    const Plane steep = planeOf([](int, int y) { return 8 * y; });
    texgen::displace(out, 0x08, 0, 255, down, nullptr, &steep);
    EXPECT_NEAR(out.at(5, 20), 12, 1);

    const Plane source = noisyPlane(8);
    texgen::twirl(out, 30, 200, 120, 127, source);
    EXPECT_EQ(countDifferent(out, source), 0);
    texgen::twirl(out, 30, 200, 120, 255, source);
    EXPECT_EQ(out.at(30 + 60, 200), source.at(30 + 60, 200));
    EXPECT_GT(countDifferent(out, source), 1000);

    texgen::tile(out, 0x12, source); // 2 across, 4 down
    EXPECT_EQ(out.at(131, 69), source.at(6, 20));
}

TEST(MotionBlur, LengthOneIsAOneSampleShift) {
    const Plane source = noisyPlane(10);
    Plane out;
    texgen::motionBlur(out, 1, 64, source, nullptr); // along the rows
    EXPECT_EQ(countDifferent(out, planeOf([&](int x, int y) { return source.at(x + 1, y); }), 1), 0);
    texgen::motionBlur(out, 1, 0, source, nullptr); // up the rows
    EXPECT_EQ(countDifferent(out, planeOf([&](int x, int y) { return source.at(x, y - 1); }), 1), 0);
    Plane mapped;
    const Plane upward = constant(0);
    texgen::motionBlur(mapped, 1, 64, source, &upward); // the map overrides the parameter
    EXPECT_EQ(countDifferent(mapped, out), 0);
    texgen::motionBlur(out, 0, 64, source, nullptr); // no length: unchanged
    EXPECT_EQ(countDifferent(out, source), 0);
}

} // namespace
