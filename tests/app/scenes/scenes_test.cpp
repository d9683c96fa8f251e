// Single frames of the six scenes drawn on the headless layer at 320 x 240 and
// read back, each checked against what the scene must show; and the two rules
// the scenes keep between frames (scene 5's word, scene 4's caption).
#include "tests/app/scenes/showfixture.h"

#include "app/frameloop.h"
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "dx/dxtexture.h"
#include "effects/blobsculpture.h"
#include "platform/crt/random.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

namespace {

constexpr UINT kW = 320;
constexpr UINT kH = 240;
const bool kSized = (app::scenes::test::useShowSize(kW, kH), true);

using effects::test::blue;
using effects::test::green;
using effects::test::Picture;
using effects::test::red;
using ::testing::Each;
using ::testing::Gt;
using ::testing::Lt;

// The published generator behind rand: its first value after srand(seed).
int firstRand(std::uint32_t seed) {
    const std::uint32_t state = seed * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

// A seed whose first rand value has `low` as its low byte.
std::uint32_t seedForLowByte(int low) {
    std::uint32_t seed = 1;
    while ((firstRand(seed) & 255) != low) {
        ++seed;
    }
    return seed;
}

// One channel of a texture averaged over the texels of [u0, u1) x [v0, v1).
double averageOver(const texture& tex, int shift, double u0, double v0, double u1, double v1) {
    const int x0 = std::clamp(static_cast<int>(std::floor(std::min(u0, u1) * tex.width)), 0, tex.width - 1);
    const int x1 = std::clamp(static_cast<int>(std::ceil(std::max(u0, u1) * tex.width)), x0 + 1, tex.width);
    const int y0 = std::clamp(static_cast<int>(std::floor(std::min(v0, v1) * tex.height)), 0, tex.height - 1);
    const int y1 = std::clamp(static_cast<int>(std::ceil(std::max(v0, v1) * tex.height)), y0 + 1, tex.height);
    double sum = 0.0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            sum += (tex.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(tex.width) +
                               static_cast<std::size_t>(x)] >>
                    shift) &
                   0xFFu;
        }
    }
    return sum / ((x1 - x0) * (y1 - y0));
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const auto n = static_cast<double>(a.size());
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / n;
    const double mb = std::accumulate(b.begin(), b.end(), 0.0) / n;
    double sab = 0.0, saa = 0.0, sbb = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return saa > 0.0 && sbb > 0.0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

// How well the red channel of the rectangle (x0, y0)-(x1, y1) of the picture
// follows texture `tex` mapped onto the quad (qx0, qy0)-(qx1, qy1) with
// texture (0, 0) at the first corner and (1, 1) at the other.
double followsTexture(const Picture& p, const texture& tex, int x0, int y0, int x1, int y1, float qx0, float qy0,
                      float qx1, float qy1) {
    std::vector<double> seen;
    std::vector<double> expected;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const double u0 = (x - qx0) / (qx1 - qx0);
            const double u1 = (x + 1 - qx0) / (qx1 - qx0);
            const double v0 = (y - qy0) / (qy1 - qy0);
            const double v1 = (y + 1 - qy0) / (qy1 - qy0);
            seen.push_back(red(p.at(static_cast<UINT>(x), static_cast<UINT>(y))));
            expected.push_back(averageOver(tex, 16, u0, v0, u1, v1));
        }
    }
    return correlation(seen, expected);
}

TEST(SceneRules, WordFollowsTheLowByteOfSecondsTimesMinus72) {
    ASSERT_TRUE(kSized);
    // (-72 s) mod 256 for s = 50..59: 240, 168, 96, 24, 208, 136, 64, 248, 176, 104.
    const char* expected[] = {"VTQ", "HO", "OH", "QTV", "VTQ", "OH", "OH", "VTQ", "HO", "OH"};
    for (int s = 50; s < 60; ++s) {
        EXPECT_STREQ(app::scenes::flickerWord(static_cast<float>(s) + 0.7f), expected[s - 50]) << s << " s";
    }
    EXPECT_STREQ(app::scenes::flickerWord(53.0f), "QTV");
    EXPECT_STREQ(app::scenes::flickerWord(50.99f), "VTQ");
    // Each threshold from both sides: the byte is a multiple of 8, and
    // s = 17, 24, 30, 5, 8, 15 give 56, 64, 144, 152, 192, 200.
    const std::pair<int, const char*> edges[] = {{17, "QTV"}, {24, "OH"}, {30, "OH"},
                                                 {5, "HO"},   {8, "HO"},  {15, "VTQ"}};
    for (const auto& [seconds, word] : edges) {
        EXPECT_STREQ(app::scenes::flickerWord(static_cast<float>(seconds) + 0.5f), word) << seconds << " s";
    }
}

TEST(SceneRules, CaptionStepsOnlyOffTheBeatRowsAndOnlyAboveTheThreshold) {
    // Rows that are multiples of 6 draw nothing: the generator is where it was.
    platform::crt::srand(7);
    EXPECT_EQ(app::scenes::nextCaption(4, 0), 4);
    EXPECT_EQ(app::scenes::nextCaption(4, 6), 4);
    EXPECT_EQ(app::scenes::nextCaption(11, 60), 11);
    EXPECT_EQ(platform::crt::rand(), firstRand(7));

    // Off those rows one draw decides: a low byte of 121 steps, 120 does not.
    platform::crt::srand(seedForLowByte(121));
    EXPECT_EQ(app::scenes::nextCaption(4, 1), 5);
    platform::crt::srand(seedForLowByte(120));
    EXPECT_EQ(app::scenes::nextCaption(4, 7), 4);
    platform::crt::srand(seedForLowByte(255));
    EXPECT_EQ(app::scenes::nextCaption(11, 13), 0);
}

// Scene 1's clear colour 0x0000FF00 plus trunc(flash x 256) in the blue byte
// shows through every blur at the corners: green alone without a flash, and
// at the largest flash the show makes (0.5, a blue byte of 128) blue beside
// an undimmed green and no red.
TEST(SceneFrames, Scene1ClearsGreenWithTheFlashInBlue) {
    SHOW_OR_SKIP();
    const Picture calm = app::scenes::test::drawScene(1, 2.0f, 0.0f, "scene1-calm");
    const Picture flash = app::scenes::test::drawScene(1, 2.0f, 0.5f, "scene1-flash");
    for (const UINT x : {2u, kW - 3}) {
        const D3DCOLOR c = calm.at(x, kH - 3);
        const D3DCOLOR f = flash.at(x, kH - 3);
        EXPECT_THAT((std::array{red(c), blue(c), red(f)}), Each(Lt(8))) << std::hex << c << " " << f;
        EXPECT_THAT((std::array{green(c), blue(f)}), Each(Gt(40))) << std::hex << c << " " << f;
        EXPECT_NEAR(green(f), green(c), 2) << std::hex << f;
    }
}

// Scene 2's wash adds (s, s, s) over the whole screen, s the frame's random
// byte / 255: drawn at 128 and at 0 the frames differ by 128 in each channel
// wherever nothing saturates (the channel's median difference). At s = 0
// neither sprites nor wash show and the names have alpha 0: pixel for pixel
// the frame is the cleared screen with the sculpture alone, drawn here
// without the rest of the scene.
TEST(SceneFrames, Scene2WashAndSpritesFollowTheRandomByte) {
    SHOW_OR_SKIP();
    const float t = 15.0f;
    platform::crt::srand(seedForLowByte(128));
    const Picture half = app::scenes::test::drawScene(2, t, 0.0f, "scene2-half");
    platform::crt::srand(seedForLowByte(0));
    const Picture none = app::scenes::test::drawScene(2, t, 0.0f, "scene2-none");
    for (const int shift : {0, 8, 16}) {
        std::vector<int> differences;
        for (UINT y = 0; y < kH; ++y) {
            for (UINT x = 0; x < kW; ++x) {
                const int below = static_cast<int>((none.at(x, y) >> shift) & 0xFF);
                if (below < 100) {
                    differences.push_back(static_cast<int>((half.at(x, y) >> shift) & 0xFF) - below);
                }
            }
        }
        ASSERT_GT(differences.size(), std::size_t{kW * kH / 8}) << "channel at bit " << shift;
        const auto middle = differences.begin() + static_cast<std::ptrdiff_t>(differences.size() / 2);
        std::nth_element(differences.begin(), middle, differences.end());
        EXPECT_NEAR(*middle, 128, 2) << "channel at bit " << shift;
    }

    device& d = *show->dev;
    app::scenes::test::startFrame(*show);
    d.beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    app::scenes::setCamera(*show, 90.6f, Vector3{std::sin(t), 1.0f, 1.0f});
    show->sculpture->drawBlobSculpture(d, t, dx::Vector4{std::sin(t), 1.0f, 1.0f, 0.0f}, 0.0f);
    d.endScene();
    const Picture alone = effects::test::readTarget(d, 0, "sculpture-alone");
    d.setLighting(false);
    d.cullNone();
    d.useFixedFunction();
    d.resetStages();
    // Colour only: the wash of (0, 0, 0) still adds its alpha of 1.
    int differ = 0;
    for (std::size_t i = 0; i < none.pixels.size(); ++i) {
        differ += (none.pixels[i] & 0xFFFFFFu) != (alone.pixels[i] & 0xFFFFFFu) ? 1 : 0;
    }
    EXPECT_EQ(differ, 0);
}

// Scene 3's logo is stretched over (0, 0)-(W + 2t, H + 2t): its red channel
// follows the logo at that size, and clearly less at the size of another time.
TEST(SceneFrames, Scene3LogoGrowsWithTime) {
    SHOW_OR_SKIP();
    const float t = 40.0f;
    const Picture p = app::scenes::test::drawScene(3, t, 0.0f, "scene3");
    const texture& logo = *show->logo;
    const auto grownBy = [&](float grown) {
        return followsTexture(p, logo, 0, 0, static_cast<int>(kW), static_cast<int>(kH), 0.0f, 0.0f,
                              static_cast<float>(kW) + grown, static_cast<float>(kH) + grown);
    };
    const double atTime = grownBy(2.0f * t);
    const double atStart = grownBy(66.0f);
    const double unscaled = grownBy(0.0f);
    EXPECT_GT(atTime, 0.9);
    EXPECT_GT(atTime, atStart + 0.05);
    EXPECT_GT(atTime, unscaled + 0.05);
}

// Scene 4's caption strip lies on (100, 200)-(W, H / 2), upside down at this
// height; of the twelve strips the one shown is the current caption.
TEST(SceneFrames, Scene4ShowsTheCurrentCaptionStrip) {
    SHOW_OR_SKIP();
    for (const int caption : {0, 5, 9}) {
        show->captionIndex = caption;
        const Picture p = app::scenes::test::drawScene(4, 62.0f, 0.0f, "scene4");
        ASSERT_EQ(show->captionIndex, caption) << "the song is not playing: row 0 keeps the caption";
        int best = -1;
        double bestScore = -2.0;
        for (int i = 0; i < app::kCaptionCount; ++i) {
            const double score = followsTexture(p, *show->captions[static_cast<std::size_t>(i)], 100,
                                                static_cast<int>(kH / 2), static_cast<int>(kW), 200, 100.0f, 200.0f,
                                                static_cast<float>(kW), std::trunc(static_cast<float>(kH) / 2.0f));
            if (score > bestScore) {
                bestScore = score;
                best = i;
            }
        }
        EXPECT_GT(bestScore, 0.8) << "caption " << caption;
        EXPECT_EQ(show->captions[static_cast<std::size_t>(best)]->pixels,
                  show->captions[static_cast<std::size_t>(caption)]->pixels)
            << "caption " << caption << " looks like " << best;
    }
}

// Scene 5 clears green and writes its word in magenta from the left edge; the
// word's pixels change with the word.
TEST(SceneFrames, Scene5WordOnGreen) {
    SHOW_OR_SKIP();
    auto magentaMask = [](const Picture& p) {
        std::vector<bool> mask;
        for (UINT y = 0; y < kH; ++y) {
            for (UINT x = 0; x < kW; ++x) {
                const D3DCOLOR c = p.at(x, y);
                mask.push_back(red(c) > 180 && blue(c) > 180 && green(c) < 100);
            }
        }
        return mask;
    };
    const Picture qtv = app::scenes::test::drawScene(5, 53.5f, 0.0f, "scene5-qtv");
    const Picture vtq = app::scenes::test::drawScene(5, 50.5f, 0.0f, "scene5-vtq");
    EXPECT_EQ(qtv.at(kW - 2, 2), 0xFF00FF00u);
    EXPECT_EQ(qtv.at(kW - 2, kH - 2), 0xFF00FF00u);
    const std::vector<bool> a = magentaMask(qtv);
    const std::vector<bool> b = magentaMask(vtq);
    int inA = 0;
    int differ = 0;
    int leftEdge = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        inA += a[i] ? 1 : 0;
        differ += a[i] != b[i] ? 1 : 0;
        leftEdge += a[i] && i % kW < kW / 8 ? 1 : 0;
    }
    EXPECT_GT(inA, static_cast<int>(kW * kH / 50));
    EXPECT_GT(differ, inA / 4);
    EXPECT_GT(leftEdge, 0) << "the word starts at 0.05 W";
}

// Scene 6's title is drawn with the tunnel's shaders still bound: its white
// glyphs show on the row at 0.4 H, with dark gaps between letters, over a
// tunnel that fills the screen.
TEST(SceneFrames, Scene6TitleOverTheTunnel) {
    SHOW_OR_SKIP();
    const Picture p = app::scenes::test::drawScene(6, 28.0f, 0.0f, "scene6");
    const auto row = static_cast<UINT>(0.4f * kH);
    int white = 0;
    int transitions = 0;
    bool last = false;
    for (UINT x = 0; x < kW; ++x) {
        const D3DCOLOR c = p.at(x, row);
        const bool on = red(c) > 230 && green(c) > 230 && blue(c) > 230;
        white += on ? 1 : 0;
        transitions += on != last ? 1 : 0;
        last = on;
    }
    EXPECT_GT(white, 20);
    EXPECT_GT(transitions, 12) << "a solid bar instead of letters";
    int dark = 0;
    for (UINT y = 0; y < kH; y += 4) {
        for (UINT x = 0; x < kW; x += 4) {
            dark += (p.at(x, y) & 0xFFFFFFu) == 0 ? 1 : 0;
        }
    }
    EXPECT_LT(dark, static_cast<int>(kW * kH / 16 / 10));
}

// The four-way mirror: each quarter of the destination is the source's
// top-left quarter, flipped across the destination's middle lines. The
// source's top-left quarter holds four blocks of different colours, and the
// rest of it a colour that must not show.
TEST(SceneFrames, FourWayMirrorReflectsTheTopLeftQuarter) {
    SHOW_OR_SKIP();
    device& d = *show->dev;
    const int source = show->target(4);
    const int destination = show->target(5);
    constexpr int kTw = 512;
    constexpr int kTh = 256;
    const D3DCOLOR blocks[2][2] = {{0xFFFF0000u, 0xFF00FF00u}, {0xFF0000FFu, 0xFFFFFFFFu}};
    d.beginTarget(source, 0xFF808080u, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    for (int by = 0; by < 2; ++by) {
        for (int bx = 0; bx < 2; ++bx) {
            const D3DRECT r{bx * kTw / 4, by * kTh / 4, (bx + 1) * kTw / 4, (by + 1) * kTh / 4};
            d.d3dDevice->Clear(1, &r, D3DCLEAR_TARGET, blocks[by][bx], 1.0f, 0);
        }
    }
    d.endScene();
    app::scenes::resetTo2D(d);
    app::scenes::fourWayMirror(source, destination, static_cast<float>(kTw), static_cast<float>(kTh), d, *show->quad);
    const Picture p = effects::test::readTarget(d, destination, "mirror");
    int checked = 0;
    for (int y = 2; y < kTh; y += 4) {
        for (int x = 2; x < kTw; x += 4) {
            // The source pixel this one shows, and whether it is clear of a block edge.
            const int sx = x < kTw / 2 ? x : kTw - 1 - x;
            const int sy = y < kTh / 2 ? y : kTh - 1 - y;
            const int inX = sx % (kTw / 4);
            const int inY = sy % (kTh / 4);
            if (inX < 3 || inX > kTw / 4 - 4 || inY < 3 || inY > kTh / 4 - 4) {
                continue;
            }
            const D3DCOLOR want = blocks[sy / (kTh / 4)][sx / (kTw / 4)];
            ASSERT_EQ(p.at(static_cast<UINT>(x), static_cast<UINT>(y)) | 0xFF000000u, want) << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 4000);
}

// The beat bars over a known ground: magenta (fadeA, 0, fadeA) over the top
// quarter; green (0, fadeB, 0) from 2/3 of the height down, raised by
// trunc(H / 2) x flash outside scene 1; colour bytes are trunc(value x 255).
// Added to the ground in every scene but 5, which screens (source x source +
// ground x (1 - source)); nothing at all in scenes 3 and 6; a bar whose fade
// is 0 is not drawn.
TEST(SceneFrames, BeatBarsFollowTheFadesTheFlashAndTheScene) {
    SHOW_OR_SKIP();
    struct Case {
        int part;
        float flash, fadeA, fadeB;
    };
    const Case cases[] = {{1, 0.5f, 0.4f, 0.3f}, {2, 0.5f, 0.4f, 0.3f}, {4, 0.25f, 0.0f, 0.45f}, {5, 0.5f, 0.4f, 0.3f},
                          {5, 0.1f, 0.2f, 0.0f}, {3, 0.5f, 0.4f, 0.3f}, {6, 0.5f, 0.4f, 0.3f}};
    const int ground[3] = {0x40, 0x50, 0x60};
    device& d = *show->dev;
    for (const Case& c : cases) {
        d.beginTarget(0, 0xFF000000u | static_cast<D3DCOLOR>(ground[0] << 16 | ground[1] << 8 | ground[2]),
                      D3DCLEAR_TARGET);
        d.endScene();
        app::scenes::resetTo2D(d);
        app::drawBeatBars(*show, c.part, c.flash, c.fadeA, c.fadeB);
        const Picture p = effects::test::readTarget(d, 0, "bars");
        const bool drawn = c.part != 3 && c.part != 6;
        const int a = static_cast<int>(c.fadeA * 255.0f);
        const int b = static_cast<int>(c.fadeB * 255.0f);
        const double topEnd = kH * 0.25;
        const double greenTop =
            kH * 2.0 / 3.0 - (c.part == 1 ? 0.0 : std::trunc(kH / 2.0) * static_cast<double>(c.flash));
        auto over = [&](int dst, int src) {
            return c.part == 5 ? src * src / 255.0 + dst * (1.0 - src / 255.0) : std::min(255.0, dst + src * 1.0);
        };
        for (UINT y = 0; y < kH; ++y) {
            if (std::abs(y - topEnd) < 1.5 || std::abs(y - greenTop) < 1.5) {
                continue;
            }
            const bool magenta = drawn && y < topEnd;
            const bool greenBar = drawn && y > greenTop;
            const int source[3] = {magenta ? a : 0, greenBar ? b : 0, magenta ? a : 0};
            for (const UINT x : {1u, kW / 2, kW - 2}) {
                const D3DCOLOR seen = p.at(x, y);
                const int got[3] = {red(seen), green(seen), blue(seen)};
                for (int k = 0; k < 3; ++k) {
                    ASSERT_NEAR(got[k], over(ground[k], source[k]), 1.5)
                        << "scene " << c.part << " flash " << c.flash << " fades " << c.fadeA << "," << c.fadeB
                        << " at " << x << "," << y << " channel " << k;
                }
            }
        }
    }
}

} // namespace
