// The zoom blur on small headless targets: which targets the passes read and
// write, the colour of the blend, add and final passes, and the states left
// for the next drawing. Expected colours come from the platform's stage rules:
// MODULATE = arg1 x arg2, BLENDFACTORALPHA = arg1 x f + arg2 x (1 - f) with f
// the texture factor's alpha, ADD = arg1 + arg2 (saturated), colour bytes /255.
#include "effects/zoomblur.h"

#include "dx/dxdevice.h"
#include "tests/effects/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using effects::test::blue;
using effects::test::green;
using effects::test::Picture;
using effects::test::red;

constexpr int kSide = 16;
constexpr double kFactor = 128.0 / 255.0;  // texture factor alpha 0x80
constexpr double kDiffuse = 127.0 / 255.0; // pass and final colour bytes 0x7F

struct Rgb {
    double r, g, b;
};

// One pass over a uniform image: the zoomed window shows the same colour.
Rgb blendPass(Rgb c) {
    auto f = [](double x) { return x * kFactor + x * kDiffuse * (1.0 - kFactor); };
    return {f(c.r), f(c.g), f(c.b)};
}
Rgb addPass(Rgb c) {
    auto f = [](double x) { return std::min(255.0, x + x * kDiffuse); };
    return {f(c.r), f(c.g), f(c.b)};
}

D3DCOLOR packed(Rgb c) {
    return 0xFF000000u | static_cast<D3DCOLOR>(c.r) << 16 | static_cast<D3DCOLOR>(c.g) << 8 |
           static_cast<D3DCOLOR>(c.b);
}

// Every `step`th pixel of the rows from firstRow down is `want`.
void expectUniform(const Picture& p, Rgb want, const std::string& what, UINT firstRow = 0, UINT step = 5) {
    ASSERT_EQ(p.width, static_cast<UINT>(kSide)) << what;
    for (UINT y = firstRow; y < p.height; y += step) {
        for (UINT x = 0; x < p.width; x += step) {
            const D3DCOLOR c = p.at(x, y);
            EXPECT_NEAR(red(c), want.r, 2.0) << what << " at " << x << "," << y;
            EXPECT_NEAR(green(c), want.g, 2.0) << what << " at " << x << "," << y;
            EXPECT_NEAR(blue(c), want.b, 2.0) << what << " at " << x << "," << y;
        }
    }
}

const Rgb kSource{100.0, 60.0, 20.0};
const Rgb kScratch{10.0, 250.0, 90.0};
const Rgb kDestination{77.0, 77.0, 77.0};

class ZoomBlurTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        d = effects::test::headlessDevice(320, 240);
        if (d == nullptr) {
            return;
        }
        for (int& t : small) {
            t = d->createRenderTarget(kSide, kSide, 1, D3DFMT_A8R8G8B8, 0);
        }
        for (int& t : wide) {
            t = d->createRenderTarget(320, 240, 1, D3DFMT_A8R8G8B8, 0);
        }
    }

    void SetUp() override {
        ASSERT_NE(d, nullptr) << "no headless device";
        d->resetStages();
        d->useFixedFunction();
        d->setLighting(false);
    }

    static void fill(int target, D3DCOLOR colour) {
        d->beginTarget(target, colour, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d->endScene();
    }

    // Source small[0], scratch small[1] and destination small[2] in their
    // colours, and small[3] in the scratch colour.
    static void fillSmall() {
        fill(small[0], packed(kSource));
        fill(small[1], packed(kScratch));
        fill(small[2], packed(kDestination));
        fill(small[3], packed(kScratch));
    }

    static inline device* d = nullptr;
    static inline std::array<int, 4> small{};
    static inline std::array<int, 3> wide{};
};

// Uniform targets through whole blurs, each expected colour the stage rules
// applied pass by pass: small[0] is the source, small[2] the destination,
// small[1] the scratch unless the source is, and small[3] a target no call names.
TEST_F(ZoomBlurTest, EachPassReadsTheTargetTheLastOneWrote) {
    const Rgb once = blendPass(kSource);
    const Rgb selfFed = addPass(addPass(once));
    const struct {
        const char* name;
        bool selfScratch;
        float centreU, centreV;
        int passes;
        float step, threshold, angle;
        Rgb source, scratch, destination;
    } cases[] = {
        // The final pass reads the source and keeps the others.
        {"no pass", false, 0.0f, 2.0f, 0, 0.2f, 2.1f, 0.0f, kSource, kScratch, once},
        // With no pass remaining after it, the pass adds exactly when the
        // threshold is above 0; the final pass reads scratch and keeps the
        // stage operation the last pass chose.
        {"one blend", false, 0.5f, 0.5f, 1, 0.1f, 0.0f, 0.0f, kSource, once, blendPass(once)},
        {"one add", false, 0.5f, 0.5f, 1, 0.1f, 1.0f, 0.0f, kSource, addPass(kSource), addPass(addPass(kSource))},
        // There and back: the final pass reads the source.
        {"two", false, 0.0f, 2.0f, 2, 0.2f, 0.0f, 0.0f, blendPass(once), once, blendPass(blendPass(once))},
        // Scratch that is the source feeds every pass back into it; the last
        // two passes (remaining 1 and 0) are below the threshold 2 and add.
        {"self", true, 0.0f, 0.0f, 3, 0.05f, 2.0f, 0.3f, selfFed, kScratch, addPass(selfFed)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fillSmall();
        zoomBlur(*d, small[0], small[2], c.selfScratch ? small[0] : small[1], c.centreU, c.centreV, c.passes, c.step,
                 c.threshold, c.angle);
        expectUniform(effects::test::readTarget(*d, small[0], "source"), c.source, "source");
        expectUniform(effects::test::readTarget(*d, small[1], "scratch"), c.scratch, "scratch");
        expectUniform(effects::test::readTarget(*d, small[2], "destination"), c.destination, "destination");
        expectUniform(effects::test::readTarget(*d, small[3], "unused"), kScratch, "untouched target");
        // The final pass's diffuse alpha (0x7F) reaches the destination through stage 0.
        EXPECT_NEAR(effects::test::readTarget(*d, small[2], "alpha").at(3, 3) >> 24, 127, 1);
    }
}

// The one-pass blend and add over and over, with every core kept busy by
// other threads: each read-back must show the pass drawn just before it. A
// read-back or target switch that ran ahead of queued drawing would show the
// previous round's picture (the add round reading back as the blend).
TEST_F(ZoomBlurTest, ReadBacksSeeTheirOwnPassWhileTheCoresAreBusy) {
    const int source = small[0], scratch = small[1], destination = small[2];
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
        busy.emplace_back([&stop] {
            std::uint64_t x = 1;
            while (!stop.load(std::memory_order_relaxed)) {
                x = x * 6364136223846793005u + 1;
            }
            return x;
        });
    }
    int wrong = 0;
    for (int round = 0; round < 300; ++round) {
        const bool adds = round % 2 == 1;
        fillSmall();
        zoomBlur(*d, source, destination, scratch, 0.5f, 0.5f, 1, 0.1f, adds ? 1.0f : 0.0f, 0.0f);
        const Rgb passed = adds ? addPass(kSource) : blendPass(kSource);
        const D3DCOLOR seen = effects::test::readTarget(*d, scratch, "scratch").at(8, 8);
        const D3DCOLOR final = effects::test::readTarget(*d, destination, "destination").at(8, 8);
        const Rgb finalWant = adds ? addPass(passed) : blendPass(passed);
        wrong += std::abs(red(seen) - passed.r) > 2.0 || std::abs(red(final) - finalWant.r) > 2.0 ? 1 : 0;
    }
    stop = true;
    for (std::thread& t : busy) {
        t.join();
    }
    EXPECT_EQ(wrong, 0) << "rounds of 300 whose read-back missed their pass";
}

// Centre (0.5, 2): the first pass's window runs in v from 1 - 1/1.4 + 0.0035
// to 1/0.8 - 0.0035 = 1.2465, past the source's bottom edge. The passes clamp,
// so the bottom rows of the pass repeat the source's last row (the lower
// colour); wrapping would bring in its top rows (the upper colour).
TEST_F(ZoomBlurTest, AWindowPastTheEdgeRepeatsTheEdgeRow) {
    const int source = small[0], scratch = small[1], destination = small[2];
    const Rgb upper = kScratch;
    const Rgb lower = kSource;
    d->beginTarget(source, packed(upper), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    const D3DRECT bottomHalf{0, kSide / 2, kSide, kSide};
    d->d3dDevice->Clear(1, &bottomHalf, D3DCLEAR_TARGET, packed(lower), 1.0f, 0);
    d->endScene();
    fill(scratch, 0);
    zoomBlur(*d, source, destination, scratch, 0.5f, 2.0f, 1, 0.2f, 0.0f, 0.0f);
    // Rows 14 and 15 look at v 1.157 and 1.217 of the source.
    expectUniform(effects::test::readTarget(*d, scratch, "scratch"), blendPass(lower), "bottom rows", kSide - 2, 1);
}

// Step 0 and angle 0 still zoom: the window of a pass is inset by 0.0035 at
// each edge. With the platform's mapping of texels to pixels (pixel centres
// on whole coordinates, texel centres at i + 0.5), pixel x samples stage 0 at
// texel position x and stage 1 at 320 x 0.0035 + 0.993 x. Across a
// black-to-white edge at x = 32 (and back at 288) the zoomed copy lights
// pixels 31 and 289 by four tenths; without the inset they stay black.
TEST_F(ZoomBlurTest, StepZeroAndAngleZeroStillZoomByTheInset) {
    const int source = wide[0], scratch = wide[1], destination = wide[2];
    constexpr int kWide = 320;
    d->beginTarget(source, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    const D3DRECT band{32, 0, 288, 240};
    d->d3dDevice->Clear(1, &band, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0);
    d->endScene();
    zoomBlur(*d, source, destination, scratch, 0.5f, 0.5f, 1, 0.0f, 0.0f, 0.0f);
    const Picture p = effects::test::readTarget(*d, scratch, "inset");
    // The source's value at texel-space position q, filtered linearly.
    auto sample = [](double q) {
        auto texel = [](int i) { return i >= 32 && i < 288 ? 255.0 : 0.0; };
        const double c = std::clamp(q - 0.5, 0.0, kWide - 1.0);
        const int i = static_cast<int>(std::floor(c));
        const double f = c - i;
        return texel(i) * (1.0 - f) + texel(std::min(i + 1, kWide - 1)) * f;
    };
    for (int x : {28, 30, 31, 32, 33, 160, 286, 287, 288, 289, 291}) {
        const double zoomed = sample(0.0035 * kWide + 0.993 * x);
        const double want = sample(x) * kDiffuse * (1.0 - kFactor) + zoomed * kFactor;
        EXPECT_NEAR(red(p.at(static_cast<UINT>(x), 120)), want, 3.0) << "x = " << x;
    }
}

struct Vertex2 {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u0, v0, u1, v1;
};

// A quad over the target, z as given, both coordinate sets from 0 to 2.
void drawRepeatQuad(IDirect3DDevice9* dev, float z, D3DCOLOR colour) {
    const float s = static_cast<float>(kSide);
    const Vertex2 quad[4] = {{0, 0, z, 1, colour, 0, 0, 0, 0},
                             {s, 0, z, 1, colour, 2, 0, 2, 0},
                             {s, s, z, 1, colour, 2, 2, 2, 2},
                             {0, s, z, 1, colour, 0, 2, 0, 2}};
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex2));
}

TEST_F(ZoomBlurTest, AfterwardsSamplersWrapStageZeroModulatesAndDepthIsTested) {
    IDirect3DDevice9* dev = d->d3dDevice;
    const int source = small[0], scratch = small[1], destination = small[2], probe = small[3];
    fill(source, packed(kSource));
    zoomBlur(*d, source, destination, scratch, 0.0f, 2.0f, 2, 0.2f, 2.1f, 0.0f);

    // 2 x 2 texels: red, green / blue, white; point sampled, so that at texture
    // coordinate 1.1875 wrapping gives the first column or row and clamping the last.
    const D3DCOLOR texels[2][2] = {{0xFFFF0000u, 0xFF00FF00u}, {0xFF0000FFu, 0xFFFFFFFFu}};
    IDirect3DTexture9* texture = effects::test::textureOf(
        *d, 2, [&](int x, int y) { return texels[y][x]; }, D3DFMT_A8R8G8B8);
    ASSERT_NE(texture, nullptr);
    for (DWORD s = 0; s < 2; ++s) {
        dev->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        dev->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    }
    // Stage 0 as the blur left it (texture x diffuse); stage 1 is the next drawing's to set.
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->setRawTexture(0, texture);
    d->beginTarget(probe, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    drawRepeatQuad(dev, 0.5f, 0xFF808080u);
    // Behind the first quad: the restored depth test keeps it out.
    dev->SetTexture(0, nullptr);
    drawRepeatQuad(dev, 0.7f, 0xFF00FFFFu);
    d->endScene();
    const Picture stage0 = effects::test::readTarget(*d, probe, "stage0");
    // Pixel 9 samples 1.1875: wrapped to texel (0, 0), red, halved by the diffuse grey.
    EXPECT_NEAR(red(stage0.at(9, 9)), 128, 2);
    EXPECT_NEAR(green(stage0.at(9, 9)), 0, 2);
    EXPECT_NEAR(blue(stage0.at(9, 9)), 0, 2);
    EXPECT_NEAR(green(stage0.at(13, 1)), 128, 2); // u 1.6875 wraps to the green texel
    EXPECT_NEAR(blue(stage0.at(1, 13)), 128, 2);  // v 1.6875 wraps to the blue texel

    // Sampler 1: stage 0 passes the diffuse colour on, stage 1 selects its texture.
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->setRawTexture(1, texture);
    d->beginTarget(probe, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    drawRepeatQuad(dev, 0.5f, 0xFF808080u);
    d->endScene();
    const Picture stage1 = effects::test::readTarget(*d, probe, "stage1");
    EXPECT_EQ((std::array{stage1.at(9, 9) & 0xFFFFFFu, stage1.at(13, 1) & 0xFFFFFFu, stage1.at(1, 13) & 0xFFFFFFu}),
              (std::array{0xFF0000u, 0x00FF00u, 0x0000FFu}));

    d->setRawTexture(0, nullptr);
    d->setRawTexture(1, nullptr);
    texture->Release();
}

int brightness(D3DCOLOR c) {
    return red(c) + green(c) + blue(c);
}

// A white square in the middle of a black picture, blurred with a centre far
// below (v 2) or far above (v -2) the picture or at its top left corner, u 0. The zoom window of
// a pass runs from 1 - 1/(step x centre + 1) to 1/(step x (1 - centre) + 1) on
// each axis, so its content drifts away from the window's fixed point: right
// in every case, up when the centre is below and down otherwise. The
// square's trail lies on that side only.
TEST_F(ZoomBlurTest, StreaksRunAwayFromTheCentre) {
    struct Case {
        const char* name;
        float centreV, step, threshold, angle;
        int trailDy; // pixel rows toward the trail
        bool selfScratch;
        int far; // rows from the middle where the trail is still lit
    };
    // The third case, centre at the top left corner, blurs the source into itself.
    const Case cases[] = {{"below", 2.0f, 0.2f, 2.1f, 0.0f, -1, false, 80},
                          {"above", -2.0f, 0.1f, 4.0f, 0.01f, 1, false, 80},
                          {"corner-self", 0.0f, 0.05f, 5.0f, 0.0f, 1, true, 26}};
    const int source = wide[0], destination = wide[2];
    for (const Case& c : cases) {
        const int scratch = c.selfScratch ? source : wide[1];
        d->beginTarget(source, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d->setRawTexture(0, nullptr);
        d->d3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        d->drawScreenQuad(150, 110, 170, 130, 0, 0, 1, 1, {1.0f, 1.0f, 1.0f, 1.0f});
        d->drawScreenQuad(40, 190, 60, 200, 0, 0, 1, 1, {1.0f, 1.0f, 0.6f, 0.1f});
        d->endScene();
        d->d3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        zoomBlur(*d, source, destination, scratch, 0.0f, c.centreV, 10, c.step, c.threshold, c.angle);
        if (c.selfScratch) {
            effects::test::readTarget(*d, source, "corner-self-source");
        }
        const Picture p = effects::test::readTarget(*d, destination, c.name);
        // In a row beside the square: the brightest pixel and the first lit
        // pixel from the left, right of the second (orange) patch's trail.
        struct Row {
            int peak;
            UINT firstLit;
        };
        const auto look = [&](int dy) {
            const auto y = static_cast<UINT>(120 + dy * c.trailDy);
            Row r{0, p.width};
            for (UINT x = 100; x < p.width; ++x) {
                const int b = brightness(p.at(x, y));
                r.peak = std::max(r.peak, b);
                if (b > 25 && r.firstLit == p.width) {
                    r.firstLit = x;
                }
            }
            return r;
        };
        const Row near = look(14);
        const Row far = look(c.far);
        EXPECT_GT(near.peak, 25) << c.name << ": trail side";
        EXPECT_LT(look(-14).peak, 10) << c.name << ": opposite side";
        EXPECT_GT(far.peak, 25) << c.name << ": trail side, farther";
        EXPECT_GE(near.firstLit, 148u) << c.name << ": nothing left of the square";
        EXPECT_GT(far.firstLit, near.firstLit) << c.name << ": the trail drifts right";
    }
}

} // namespace
