#include "app/pictures.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::size_t kLogoBytes = std::size_t{kLogoWidth} * kLogoHeight * 3;
constexpr std::size_t kStripBytes = std::size_t{kStripWidth} * kStripHeight * 3;

void put(std::vector<std::uint8_t>& rgb, std::size_t at, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    rgb[at] = r;
    rgb[at + 1] = g;
    rgb[at + 2] = b;
}

// Inside one of three letter-sized blocks with a notch, standing in for the letters.
bool inLetter(int x, int y) {
    const int top = 96;
    const int bottom = 416;
    if (y < top || y >= bottom) {
        return false;
    }
    for (int letter = 0; letter < 3; ++letter) {
        const int left = 112 + letter * 288;
        if (x >= left && x < left + 224) {
            const bool notch = x >= left + 72 && x < left + 152 && y >= top + 80 && y < bottom - 80;
            return !notch;
        }
    }
    return false;
}

} // namespace

std::vector<std::uint8_t> logoPicture() {
    std::vector<std::uint8_t> rgb(kLogoBytes);
    for (int y = 0; y < kLogoHeight; ++y) {
        for (int x = 0; x < kLogoWidth; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * kLogoWidth + static_cast<std::size_t>(x)) * 3;
            if (inLetter(x, y)) {
                const bool magenta = ((x - 112) / 288) % 2 == 1;
                put(rgb, at, magenta ? 230 : 40, magenta ? 30 : 230, magenta ? 220 : 60);
            } else {
                // Green at the top fading to purple at the bottom.
                const int t = y * 255 / (kLogoHeight - 1);
                put(rgb, at, static_cast<std::uint8_t>(t / 2), static_cast<std::uint8_t>(160 - t * 160 / 255),
                    static_cast<std::uint8_t>(t * 3 / 5));
            }
        }
    }
    return rgb;
}

std::vector<std::uint8_t> stripPictures() {
    std::vector<std::uint8_t> rgb(kStripBytes * kStripCount, 0);
    const std::vector<std::uint8_t> logo = logoPicture();
    for (int s = 0; s < kStripCount; ++s) {
        std::uint8_t* strip = rgb.data() + kStripBytes * static_cast<std::size_t>(s);
        if (s >= 3 && s <= 6) {
            const std::size_t quarter = kStripBytes * static_cast<std::size_t>(s - 3);
            std::copy(logo.begin() + static_cast<std::ptrdiff_t>(quarter),
                      logo.begin() + static_cast<std::ptrdiff_t>(quarter + kStripBytes), strip);
            continue;
        }
        // One magenta mark per word position, as many as the strip's number (strip 2 repeats strip 1).
        const int marks = (s == 2 ? 1 : s) + 1;
        for (int m = 0; m < marks; ++m) {
            const int left = 64 + m * 60;
            for (int y = 40; y < 88; ++y) {
                for (int x = left; x < left + 40 && x < kStripWidth; ++x) {
                    const std::size_t at = (static_cast<std::size_t>(y) * kStripWidth + static_cast<std::size_t>(x)) * 3;
                    strip[at] = 255;
                    strip[at + 1] = 0;
                    strip[at + 2] = 255;
                }
            }
        }
    }
    return rgb;
}

std::vector<std::uint32_t> toPixels32(const std::uint8_t* rgb, int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint8_t* p = rgb + i * 3;
        pixels[i] = 0xFF000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]};
    }
    return pixels;
}
