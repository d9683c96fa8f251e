// The embedded pictures as the show receives them: their sizes, the 32-bit
// conversion, the logo's layout in strips 3 to 6, and what the captions and
// the logo look like, judged by colour classes rather than exact pixels.

#include "resources/pictures/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kStripBytes = 1024 * 128 * 3;

struct Pixel {
    int r, g, b;
};

Pixel pixelAt(const std::uint8_t* rgb, int width, int x, int y) {
    const std::uint8_t* p =
        rgb + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return {p[0], p[1], p[2]};
}

bool nearBlack(Pixel p) {
    return std::max({p.r, p.g, p.b}) <= 24;
}
// Red and blue both well above green: magenta at any brightness.
bool magentaIsh(Pixel p) {
    return p.r >= 2 * p.g + 8 && p.b >= 2 * p.g + 8;
}
bool brightMagenta(Pixel p) {
    return p.r >= 200 && p.b >= 180 && p.g <= 100;
}
bool brightGreen(Pixel p) {
    return p.g >= 200 && p.r <= 150 && p.b <= 150;
}

const std::uint8_t* strip(const std::vector<std::uint8_t>& strips, int number) {
    return strips.data() + kStripBytes * static_cast<std::size_t>(number);
}

bool isCaption(int number) {
    return number < 3 || number > 6;
}

} // namespace

TEST(Pictures, ConversionPutsTheFirstByteInRedAndAlphaOnTop) {
    const std::uint8_t rgb[] = {0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(resources::toPixels32(rgb, 2, 1), (std::vector<std::uint32_t>{0xFF123456u, 0xFFABCDEFu}));
}

TEST(Pictures, StripsThreeToSixAreTheLogosBandsTopFirst) {
    const std::vector<std::uint8_t> logo = resources::logoPicture();
    const std::vector<std::uint8_t> strips = resources::stripPictures();
    ASSERT_EQ(logo.size(), 4 * kStripBytes);
    ASSERT_EQ(strips.size(), 15 * kStripBytes);
    for (int band = 0; band < 4; ++band) {
        EXPECT_EQ(std::memcmp(strip(strips, 3 + band), logo.data() + kStripBytes * static_cast<std::size_t>(band),
                              kStripBytes),
                  0)
            << "strip " << 3 + band;
    }
}

TEST(Pictures, CaptionsAreMagentaOnBlackOneWordPerStripAndStripsOneAndTwoAlike) {
    const std::vector<std::uint8_t> strips = resources::stripPictures();
    ASSERT_EQ(strips.size(), 15 * kStripBytes);
    EXPECT_EQ(std::memcmp(strip(strips, 1), strip(strips, 2), kStripBytes), 0);
    for (int s = 0; s < 15; ++s) {
        if (!isCaption(s)) {
            continue;
        }
        const std::uint8_t* rgb = strip(strips, s);
        int black = 0, bright = 0, other = 0, borderInk = 0;
        for (int y = 0; y < 128; ++y) {
            for (int x = 0; x < 1024; ++x) {
                const Pixel p = pixelAt(rgb, 1024, x, y);
                black += nearBlack(p) ? 1 : 0;
                bright += brightMagenta(p) ? 1 : 0;
                other += !nearBlack(p) && !magentaIsh(p) ? 1 : 0;
                // Ink on the outermost rows or columns means a clipped caption.
                if ((x == 0 || x == 1023 || y == 0 || y == 127) && !nearBlack(p)) {
                    ++borderInk;
                }
            }
        }
        SCOPED_TRACE(s);
        EXPECT_EQ(other, 0);
        EXPECT_EQ(borderInk, 0);
        EXPECT_GT(black, 1024 * 128 / 2);
        // A capital of 64 rows covers more than 1,000 pixels; a caption is at least a few letters.
        EXPECT_GT(bright, 4000);
        // The strips are different captions apart from the pair 1 and 2.
        for (int t = 0; t < s; ++t) {
            if (isCaption(t) && !(t == 1 && s == 2)) {
                EXPECT_NE(std::memcmp(rgb, strip(strips, t), kStripBytes), 0) << "same as strip " << t;
            }
        }
    }
}

TEST(Pictures, LogoHasGreenAndMagentaLettersOverAGreenToPurpleGradient) {
    const std::vector<std::uint8_t> logo = resources::logoPicture();
    ASSERT_EQ(logo.size(), 1572864u);
    int green = 0, magenta = 0;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 1024; ++x) {
            green += brightGreen(pixelAt(logo.data(), 1024, x, y)) ? 1 : 0;
            magenta += brightMagenta(pixelAt(logo.data(), 1024, x, y)) ? 1 : 0;
        }
    }
    // Large letters: each colour covers at least 4% of the picture.
    EXPECT_GT(green, 1024 * 512 / 25);
    EXPECT_GT(magenta, 1024 * 512 / 25);

    // The left column is background from top to bottom.
    const Pixel top = pixelAt(logo.data(), 1024, 0, 0);
    const Pixel bottom = pixelAt(logo.data(), 1024, 0, 511);
    EXPECT_GT(top.g, top.r + 40);
    EXPECT_GT(top.g, top.b);
    EXPECT_GT(bottom.b, bottom.g + 40);
    EXPECT_GT(bottom.r, bottom.g);
    EXPECT_FALSE(brightGreen(top) || brightMagenta(top) || brightGreen(bottom) || brightMagenta(bottom));
    for (int y = 1; y < 512; ++y) {
        const Pixel above = pixelAt(logo.data(), 1024, 0, y - 1);
        const Pixel here = pixelAt(logo.data(), 1024, 0, y);
        ASSERT_LE(here.g, above.g) << "row " << y;
        ASSERT_GE(here.b, above.b) << "row " << y;
    }
}
