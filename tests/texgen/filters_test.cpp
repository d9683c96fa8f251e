#include "texgen/convolution.h"
#include "texgen/generators.h"
#include "texgen/pointops.h"
#include "texgen/sampling.h"
#include "tests/texgen/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using texgen::Plane;
using texgen_test::noisyPlane;
using texgen_test::planeOf;

int countDifferent(const Plane& a, const Plane& b, int tolerance = 0)
{
    int n = 0;
    for (std::size_t i = 0; i < texgen::kPlaneSize; ++i) {
        n += std::abs(a.pixels[i] - b.pixels[i]) > tolerance;
    }
    return n;
}

// The repeated filter straight from its definition: eight passes, each on the
// previous result, pixel by pixel, the sum divided toward zero by `divisor`.
Plane plainRepeat(const Plane& source, unsigned passes, const Plane* mask, const std::vector<int>& kernel, int n,
                  int divisor)
{
    Plane current = source;
    for (unsigned pass = 0; pass < 8; ++pass) {
        Plane next = current;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const unsigned limit = mask != nullptr ? mask->at(x, y) / 32u : passes;
                if (pass >= limit) {
                    continue;
                }
                int sum = 0;
                for (int k = 0; k < n; ++k) {
                    for (int j = 0; j < n; ++j) {
                        sum += kernel[static_cast<std::size_t>(k * n + j)] * current.at(x - n / 2 + j, y - n / 2 + k);
                    }
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

TEST(RepeatFilter, BlurAndSharpenFollowTheirKernelsPassByPass)
{
    const Plane source = noisyPlane(1);
    const Plane mask = noisyPlane(2);
    for (unsigned passes : {0u, 1u, 3u}) {
        Plane out;
        texgen::blur(out, passes, source, nullptr);
        EXPECT_EQ(countDifferent(out, plainRepeat(source, passes, nullptr, kBlur, 5, 39)), 0) << passes;
        texgen::sharpen(out, passes, source, nullptr);
        EXPECT_EQ(countDifferent(out, plainRepeat(source, passes, nullptr, kSharpen, 3, 3)), 0) << passes;
    }
    Plane out;
    texgen::blur(out, 0, source, &mask);
    EXPECT_EQ(countDifferent(out, plainRepeat(source, 0, &mask, kBlur, 5, 39)), 0);
    texgen::sharpen(out, 0, source, &mask);
    EXPECT_EQ(countDifferent(out, plainRepeat(source, 0, &mask, kSharpen, 3, 3)), 0);
}

TEST(RepeatFilter, PassCountsFromMaskAndParameter)
{
    const Plane source = noisyPlane(3);
    Plane full;
    full.pixels.fill(255);
    Plane a;
    Plane b;
    texgen::blur(a, 0, source, &full); // 255 >> 5 = 7 passes everywhere
    texgen::blur(b, 7, source, nullptr);
    EXPECT_EQ(countDifferent(a, b), 0);
    texgen::blur(a, 9, source, nullptr); // at most eight passes
    texgen::blur(b, 8, source, nullptr);
    EXPECT_EQ(countDifferent(a, b), 0);
    texgen::blur(b, 7, source, nullptr);
    EXPECT_GT(countDifferent(a, b), 0);
    Plane zero;
    texgen::blur(a, 0, source, &zero);
    EXPECT_EQ(countDifferent(a, source), 0);
}

TEST(Filter3x3, KernelsAroundABrightPixel)
{
    Plane dot;
    dot.at(10, 10) = 20;
    Plane out;
    texgen::filter3x3(out, 1, dot); // 0 -1 0 / -1 4 -1 / 0 -1 0, plus 127
    EXPECT_EQ(out.at(10, 10), 127 + 80);
    EXPECT_EQ(out.at(10, 9), 107);
    EXPECT_EQ(out.at(11, 10), 107);
    EXPECT_EQ(out.at(11, 11), 127);
    EXPECT_EQ(out.at(200, 3), 127);

    // Kernel 5, 0 -1 0 / 0 0 0 / 0 1 0: the row below minus the row above.
    const Plane ramp = planeOf([](int, int y) { return y; });
    texgen::filter3x3(out, 5, ramp);
    EXPECT_EQ(out.at(7, 100), 129);
    EXPECT_EQ(out.at(7, 0), 0); // 127 + 1 - 255 across the wrap, clamped
    texgen::filter3x3(out, 2, planeOf([](int, int) { return 200; }));
    EXPECT_EQ(out.at(50, 50), 127);
    // No kernel 6: the source passes unchanged.
    texgen::filter3x3(out, 6, ramp);
    EXPECT_EQ(countDifferent(out, ramp), 0);
}

TEST(ConvolvePlane, DivisorChoices)
{
    const Plane source = noisyPlane(4);
    Plane out;
    texgen::convolvePlane(out, source, kBlur, 5, -1, 0); // the kernel's own sum
    EXPECT_EQ(countDifferent(out, plainRepeat(source, 1, nullptr, kBlur, 5, 39)), 0);
    const std::vector<int> identity = {0, 0, 0, 0, 2, 0, 0, 0, 0};
    texgen::convolvePlane(out, source, identity, 3, 0, -10); // no division
    EXPECT_EQ(out.at(3, 3), std::clamp(2 * source.at(3, 3) - 10, 0, 255));
    EXPECT_EQ(texgen::convolvePoint(source, 3, 3, identity, 3), source.at(3, 3));
}

TEST(Combine, ModesByFormula)
{
    struct Case {
        unsigned mode;
        unsigned extra;
        std::function<int(int a, int b, int m)> pixel;
    };
    const auto clamp = [](int v) { return std::clamp(v, 0, 255); };
    const Case cases[] = {
        {0, 0, [&](int a, int b, int) { return clamp(a + b); }},
        {1, 0, [&](int a, int b, int) { return clamp(a - b); }},
        {2, 0, [](int a, int b, int) { return a * b / 256; }},
        {3, 0, [](int a, int b, int) { return b == 0 ? a : 0; }},
        {4, 255, [](int a, int, int) { return a == 0 ? 0 : a - 1; }},
        {4, 0, [](int, int b, int) { return b * 255 / 256; }},
        {5, 0, [&](int a, int b, int) { return clamp(a * b + (a + b) / 256); }},
        {6, 0, [](int a, int b, int m) { return (255 - m) * a / 256 + b * m / 256; }},
        {7, 0, [&](int a, int b, int) { return clamp(a - b); }},
        {8, 0, [](int a, int b, int) { return std::max(a, b); }},
        {9, 0, [](int a, int b, int) { return std::min(a, b); }},
        {10, 77, [](int a, int b, int) { return a == 77 ? 77 : b; }},
    };
    Plane a = noisyPlane(5);
    a.at(0, 0) = 77; // a pixel equal to mode 10's key
    a.at(1, 0) = 0;  // a = 0 for modes 3 and 4
    Plane b = noisyPlane(6);
    b.at(2, 0) = 0;  // b = 0 for mode 3
    const Plane m = noisyPlane(7);
    for (const Case& c : cases) {
        Plane out;
        texgen::combine(out, c.mode, c.extra, a, b, &m);
        int wrong = 0;
        for (std::size_t i = 0; i < texgen::kPlaneSize; ++i) {
            wrong += out.pixels[i] != c.pixel(a.pixels[i], b.pixels[i], m.pixels[i]);
        }
        EXPECT_EQ(wrong, 0) << "mode " << c.mode << " extra " << c.extra;
    }
    Plane out;
    out.pixels.fill(9);
    texgen::combine(out, 11, 0, a, b, nullptr);
    EXPECT_EQ(out.at(5, 5), 9);
}

TEST(Combine, MaximumOfTwoBitPatterns)
{
    Plane s1;
    Plane s2;
    texgen::bitPattern(s1, 56, 48);
    texgen::bitPattern(s2, 84, 2);
    Plane out;
    texgen::combine(out, 8, 0, s1, s2, nullptr);
    EXPECT_EQ(out.at(8, 0), 64);  // stripes 64, pattern 0
    EXPECT_EQ(out.at(32, 0), 32); // stripes 0, pattern 32
    EXPECT_EQ(out.at(40, 16), std::max(64, (32 ^ 64)));
}

TEST(PointOps, ValuesByFormula)
{
    const Plane ramp = planeOf([](int x, int) { return x; });
    struct Case {
        const char* name;
        std::function<void(Plane&)> run;
        std::function<int(int v)> pixel;
    };
    const Case cases[] = {
        {"levels 0 255", [&](Plane& o) { texgen::levels(o, 0, 255, ramp); }, [](int v) { return v; }},
        {"levels 0 69", [&](Plane& o) { texgen::levels(o, 0, 69, ramp); },
         [](int v) { return v == 255 ? 69 : -1; }},
        {"levels 255 0", [&](Plane& o) { texgen::levels(o, 255, 0, ramp); },
         [](int v) { return v == 0 ? 255 : (v == 255 ? 0 : -1); }},
        {"clamp", [&](Plane& o) { texgen::clampRange(o, 0, 50, 100, ramp); },
         [](int v) { return std::clamp(v, 50, 100); }},
        {"threshold", [&](Plane& o) { texgen::clampRange(o, 1, 50, 100, ramp); },
         [](int v) { return v < 50 ? 0 : (v > 100 ? 255 : v); }},
        {"wrap", [&](Plane& o) { texgen::multiplyWrap(o, 3, ramp); }, [](int v) { return (3 * v) % 256; }},
        {"fold", [&](Plane& o) { texgen::multiplyWrap(o, 128 + 3, ramp); },
         [](int v) { return (3 * v / 256) % 2 == 1 ? (3 * v) % 256 : 255 - (3 * v) % 256; }},
        {"invert", [&](Plane& o) { texgen::invert(o, ramp); }, [](int v) { return 255 - v; }},
        {"brightness", [&](Plane& o) { texgen::brightness(o, 27, ramp, nullptr); },
         [](int v) { return std::max(v - 100, 0); }},
        {"lighten", [&](Plane& o) { texgen::lightenDarken(o, 192, ramp, nullptr); },
         [](int v) { return v + (255 - v) / 2; }},
        {"darken", [&](Plane& o) { texgen::lightenDarken(o, 32, ramp, nullptr); }, [](int v) { return v / 4; }},
        {"neutral", [&](Plane& o) { texgen::lightenDarken(o, 128, ramp, nullptr); }, [](int v) { return v; }},
        {"contrast 127", [&](Plane& o) { texgen::contrast(o, 127, ramp, nullptr); }, [](int v) { return v; }},
        {"contrast 255", [&](Plane& o) { texgen::contrast(o, 255, ramp, nullptr); },
         [](int v) { return v < 127 ? 0 : (v > 127 ? 255 : -1); }},
        {"smoothstep", [&](Plane& o) { texgen::curve(o, 1, ramp); },
         [](int v) { return v == 0 ? 0 : (v == 51 ? 26 : (v == 204 ? 228 : -1)); }},
        {"sine bump", [&](Plane& o) { texgen::curve(o, 0, ramp); },
         [](int v) { return v == 0 ? 0 : (v == 128 ? 254 : -1); }},
    };
    for (const Case& c : cases) {
        Plane out;
        c.run(out);
        for (int v = 0; v < 256; ++v) {
            const int expected = c.pixel(v);
            if (expected >= 0) {
                EXPECT_EQ(out.at(v, 3), expected) << c.name << " at " << v;
            }
        }
    }
}

TEST(PointOps, MaskReplacesTheAmountPerPixel)
{
    const Plane source = planeOf([](int, int) { return 100; });
    const Plane mask = planeOf([](int x, int) { return x; });
    Plane out;
    texgen::brightness(out, 0, source, &mask);
    EXPECT_EQ(out.at(127, 0), 100);
    EXPECT_EQ(out.at(200, 0), 173);
    texgen::lightenDarken(out, 0, source, &mask);
    EXPECT_EQ(out.at(64, 0), 50);
    texgen::contrast(out, 0, source, &mask);
    EXPECT_EQ(out.at(255, 0), 0);
}

TEST(Normalise, StretchesTheRangeAndJointlyOverAllFourInputs)
{
    const Plane ramp = planeOf([](int x, int) { return 10 + x / 32; }); // 10..17
    Plane out;
    texgen::normalise(out, ramp);
    EXPECT_EQ(out.at(0, 0), 0);
    EXPECT_EQ(out.at(255, 0), 255);
    EXPECT_EQ(out.at(100, 0), (13 - 10) * 255 / 7);
    texgen::normalise(out, planeOf([](int, int) { return 99; }));
    EXPECT_EQ(*std::max_element(out.pixels.begin(), out.pixels.end()), 0);

    // The second input widens the joint range like the other two.
    const Plane low = planeOf([](int, int) { return 0; });
    const Plane high = planeOf([](int, int) { return 34; });
    texgen::normaliseJoint(out, ramp, high, low, ramp);
    EXPECT_EQ(out.at(255, 0), 17 * 255 / 34);
    EXPECT_EQ(out.at(0, 0), 10 * 255 / 34);
}

TEST(Sampling, BilinearTapsAndNegativeFractions)
{
    const Plane ramp = planeOf([](int x, int y) { return x + 2 * y; });
    EXPECT_FLOAT_EQ(texgen::sampleBilinear(5.0f, 6.0f, ramp), 17.0f);
    EXPECT_FLOAT_EQ(texgen::sampleBilinear(5.5f, 6.25f, ramp), 18.0f);
    // -0.5 truncates to 0 with fraction -0.5: 1.5 * p(0) - 0.5 * p(1).
    EXPECT_FLOAT_EQ(texgen::sampleBilinear(-0.5f, 0.0f, ramp), -0.5f);
    EXPECT_FLOAT_EQ(texgen::sampleBilinear(255.5f, 0.0f, ramp), 127.5f); // wraps to column 0
}

TEST(Displace, ShiftsBySourceValues)
{
    const Plane ramp = planeOf([](int x, int) { return x; });
    Plane out;
    texgen::displace(out, 0x00, 255, 255, ramp, nullptr, nullptr);
    EXPECT_EQ(countDifferent(out, ramp), 0);
    // Mode 1 from a plane of 64 at full scale: look 64 pixels to the right.
    const Plane by64 = planeOf([](int, int) { return 64; });
    texgen::displace(out, 0x90, 255, 0, ramp, &by64, nullptr);
    EXPECT_EQ(countDifferent(out, planeOf([](int x, int) { return (x + 64) & 255; }), 1), 0);
    // Mode 0 from a vertical ramp 2y: (L - D - R + U) / 2 = -2, looking 2 pixels up.
    const Plane vertical = planeOf([](int, int y) { return 2 * y; });
    const Plane column = planeOf([](int, int y) { return y; });
    texgen::displace(out, 0x08, 0, 255, column, nullptr, &vertical);
    EXPECT_NEAR(out.at(5, 100), 98, 1);
    EXPECT_NEAR(out.at(9, 50), 48, 1);
}

TEST(Twirl, StrengthNeutralAndOutsideTheCircle)
{
    const Plane source = noisyPlane(8);
    Plane out;
    texgen::twirl(out, 30, 200, 120, 127, source);
    EXPECT_EQ(countDifferent(out, source), 0);
    texgen::twirl(out, 30, 200, 120, 255, source);
    EXPECT_EQ(out.at(30 + 60, 200), source.at(30 + 60, 200));
    EXPECT_EQ(out.at(30 + 128, 200 + 128), source.at(30 + 128, 200 + 128));
    EXPECT_GT(countDifferent(out, source), 1000);
}

TEST(TileAndScroll, PointSampledCopiesAndWrapShift)
{
    const Plane source = noisyPlane(9);
    Plane out;
    texgen::tile(out, 0x12, source); // 2 across, 4 down
    EXPECT_EQ(out.at(3, 5), source.at(6, 20));
    EXPECT_EQ(out.at(131, 69), source.at(6, 20));
    texgen::scroll(out, 10, 250, source);
    EXPECT_EQ(out.at(12, 3), source.at(2, 9));
    EXPECT_EQ(out.at(5, 3), source.at(251, 9));
}

TEST(MotionBlur, LengthOneIsAOneSampleShift)
{
    const Plane source = noisyPlane(10);
    Plane out;
    texgen::motionBlur(out, 1, 64, source, nullptr); // along the rows
    EXPECT_EQ(countDifferent(out, planeOf([&](int x, int y) { return source.at(x + 1, y); }), 1), 0);
    texgen::motionBlur(out, 1, 0, source, nullptr); // up the rows
    EXPECT_EQ(countDifferent(out, planeOf([&](int x, int y) { return source.at(x, y - 1); }), 1), 0);
    const Plane along = planeOf([](int, int) { return 64; });
    Plane mapped;
    texgen::motionBlur(mapped, 1, 0, source, &along);
    texgen::motionBlur(out, 1, 64, source, nullptr);
    EXPECT_EQ(countDifferent(mapped, out), 0);
    texgen::motionBlur(out, 0, 64, source, nullptr); // no length: unchanged
    EXPECT_EQ(countDifferent(out, source), 0);
}

} // namespace
