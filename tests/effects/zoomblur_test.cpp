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

void expectUniform(const Picture& p, Rgb want, const std::string& what) {
    ASSERT_EQ(p.width, static_cast<UINT>(kSide)) << what;
    for (UINT y = 0; y < p.height; y += 5) {
        for (UINT x = 0; x < p.width; x += 5) {
            const D3DCOLOR c = p.at(x, y);
            EXPECT_NEAR(red(c), want.r, 2.0) << what << " at " << x << "," << y;
            EXPECT_NEAR(green(c), want.g, 2.0) << what << " at " << x << "," << y;
            EXPECT_NEAR(blue(c), want.b, 2.0) << what << " at " << x << "," << y;
        }
    }
}

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

    // Source small[0], scratch small[1] and destination small[2] in their colours.
    static void fillThree();

    static device* d;
    static std::array<int, 4> small;
    static std::array<int, 3> wide;
};

device* ZoomBlurTest::d = nullptr;
std::array<int, 4> ZoomBlurTest::small{};
std::array<int, 3> ZoomBlurTest::wide{};

const Rgb kSource{100.0, 60.0, 20.0};
const Rgb kScratch{10.0, 250.0, 90.0};
const Rgb kDestination{77.0, 77.0, 77.0};

void ZoomBlurTest::fillThree() {
    fill(small[0], packed(kSource));
    fill(small[1], packed(kScratch));
    fill(small[2], packed(kDestination));
}

TEST_F(ZoomBlurTest, WithoutPassesTheFinalPassReadsTheSourceAndKeepsTheOthers) {
    const int source = small[0], scratch = small[1], destination = small[2];
    fillThree();
    zoomBlur(*d, source, destination, scratch, 0.0f, 2.0f, 0, 0.2f, 2.1f, 0.0f);
    expectUniform(effects::test::readTarget(*d, destination, "destination"), blendPass(kSource), "destination");
    expectUniform(effects::test::readTarget(*d, source, "source"), kSource, "source");
    expectUniform(effects::test::readTarget(*d, scratch, "scratch"), kScratch, "scratch");
    // The final pass's diffuse alpha (0x7F) reaches the destination through stage 0.
    EXPECT_NEAR(effects::test::readTarget(*d, destination, "alpha").at(3, 3) >> 24, 127, 1);
}

TEST_F(ZoomBlurTest, OnePassBlendsSourceIntoScratchAndTheFinalPassReadsScratch) {
    const int source = small[0], scratch = small[1], destination = small[2];
    for (const float threshold : {0.0f, 1.0f}) {
        // With no pass remaining after it, the pass adds exactly when the threshold is above 0.
        const bool adds = threshold > 0.0f;
        const std::string what = adds ? "add " : "blend ";
        fillThree();
        zoomBlur(*d, source, destination, scratch, 0.5f, 0.5f, 1, 0.1f, threshold, 0.0f);
        const Rgb passed = adds ? addPass(kSource) : blendPass(kSource);
        // The final pass keeps the stage operation the last pass chose.
        const Rgb final = adds ? addPass(passed) : blendPass(passed);
        expectUniform(effects::test::readTarget(*d, scratch, "scratch"), passed, what + "scratch");
        expectUniform(effects::test::readTarget(*d, destination, "destination"), final, what + "destination");
        expectUniform(effects::test::readTarget(*d, source, "source"), kSource, what + "source");
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
        fillThree();
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

TEST_F(ZoomBlurTest, TwoPassesGoThereAndBackAndTheFinalPassReadsTheSource) {
    const int source = small[0], scratch = small[1], destination = small[2];
    fillThree();
    zoomBlur(*d, source, destination, scratch, 0.0f, 2.0f, 2, 0.2f, 0.0f, 0.0f);
    const Rgb once = blendPass(kSource);
    expectUniform(effects::test::readTarget(*d, scratch, "scratch"), once, "scratch");
    expectUniform(effects::test::readTarget(*d, source, "source"), blendPass(once), "source");
    expectUniform(effects::test::readTarget(*d, destination, "destination"), blendPass(blendPass(once)), "destination");
}

TEST_F(ZoomBlurTest, ScratchThatIsTheSourceFeedsEveryPassBackIntoIt) {
    const int source = small[0], destination = small[2], unused = small[3];
    fill(source, packed(kSource));
    fill(destination, packed(kDestination));
    fill(unused, packed(kScratch));
    // Three passes; the last two (remaining 1 and 0) are below the threshold 2 and add.
    zoomBlur(*d, source, destination, source, 0.0f, 0.0f, 3, 0.05f, 2.0f, 0.3f);
    const Rgb inSource = addPass(addPass(blendPass(kSource)));
    expectUniform(effects::test::readTarget(*d, source, "source"), inSource, "source");
    expectUniform(effects::test::readTarget(*d, destination, "destination"), addPass(inSource), "destination");
    expectUniform(effects::test::readTarget(*d, unused, "unused"), kScratch, "untouched target");
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
    const Picture p = effects::test::readTarget(*d, scratch, "scratch");
    // Rows 14 and 15 look at v 1.157 and 1.217 of the source.
    const Rgb want = blendPass(lower);
    for (UINT y = kSide - 2; y < kSide; ++y) {
        for (UINT x = 0; x < kSide; x += 3) {
            const D3DCOLOR c = p.at(x, y);
            EXPECT_NEAR(red(c), want.r, 2.0) << x << "," << y;
            EXPECT_NEAR(green(c), want.g, 2.0) << x << "," << y;
            EXPECT_NEAR(blue(c), want.b, 2.0) << x << "," << y;
        }
    }
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

// 2 x 2 texels: red, green / blue, white; point sampled, so that at texture
// coordinate 1.1875 wrapping gives the first column or row and clamping the last.
IDirect3DTexture9* quadrantTexture(IDirect3DDevice9* dev) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(dev->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const D3DCOLOR texels[2][2] = {{0xFFFF0000u, 0xFF00FF00u}, {0xFF0000FFu, 0xFFFFFFFFu}};
    for (int y = 0; y < 2; ++y) {
        auto* row = reinterpret_cast<D3DCOLOR*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        row[0] = texels[y][0];
        row[1] = texels[y][1];
    }
    texture->UnlockRect(0);
    return texture;
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

    IDirect3DTexture9* texture = quadrantTexture(dev);
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
    EXPECT_EQ(stage1.at(9, 9) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(stage1.at(13, 1) & 0xFFFFFFu, 0x00FF00u);
    EXPECT_EQ(stage1.at(1, 13) & 0xFFFFFFu, 0x0000FFu);

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
        float centreV;
        float step;
        float threshold;
        float angle;
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
