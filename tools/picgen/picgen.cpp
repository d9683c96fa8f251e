// Writes the show's pictures as raw 24-bit pixels (red, green, blue bytes,
// rows top to bottom, no header):
// - the logo, 1,024 x 512: the letters "RZ3", green, magenta and green with a
//   dark outline and shadow, over a gradient from green at the top to purple
//   at the bottom;
// - fifteen strips of 1,024 x 128 one after the other. Strips 3 to 6 are the
//   logo cut into four bands of 128 rows, top band first (strip 3 holds logo
//   rows 0 to 127, strip 6 rows 384 to 511). The other strips hold captions in
//   magenta capitals on black; strips 1 and 2 hold the same one.
// Where the build has a PNG writer (not in the browser build), a PNG of each
// picture is written beside the raw files (logo.png, strip_00.png to
// strip_14.png) for a person to look at; see preview.h.
//
// Usage: picgen <font.ttf> <logo.rgb> <strips.rgb>

#include "tools/picgen/lettering.h"
#include "tools/picgen/preview.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using picgen::Lettering;
using picgen::Mask;

constexpr int kLogoWidth = 1024;
constexpr int kLogoHeight = 512;
constexpr int kStripWidth = 1024;
constexpr int kStripHeight = 128;
constexpr int kStripCount = 15;
constexpr int kFirstLogoStrip = 3;
constexpr int kLogoStrips = kLogoHeight / kStripHeight;

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb kGreen{70, 255, 90};
constexpr Rgb kMagenta{255, 40, 230};
constexpr Rgb kOutline{10, 6, 16};
constexpr Rgb kGradientTop{0, 140, 70};
constexpr Rgb kGradientBottom{100, 20, 140};

// Strip captions by stored strip number; empty for the logo's bands.
const std::array<std::string, kStripCount> kCaptions = {
    "HELLO WORLD", "ONCE MORE", "ONCE MORE",   "",         "",           "",         "", "GREETINGS", "TO ALL",
    "CODERS",      "MUSICIANS", "GRAPHICIANS", "SWAPPERS", "NEVER STOP", "STAY RAD",
};

struct Canvas {
    int width;
    int height;
    std::vector<std::uint8_t> rgb;

    Canvas(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0) {}

    // Mixes `colour` over the pixel with coverage `alpha` (0 to 255).
    void blend(int x, int y, Rgb colour, int alpha) {
        if (x < 0 || y < 0 || x >= width || y >= height || alpha <= 0) {
            return;
        }
        std::uint8_t* p =
            rgb.data() +
            (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
        const auto mix = [alpha](std::uint8_t under, std::uint8_t over) {
            return static_cast<std::uint8_t>((under * (255 - alpha) + over * alpha + 127) / 255);
        };
        p[0] = mix(p[0], colour.r);
        p[1] = mix(p[1], colour.g);
        p[2] = mix(p[2], colour.b);
    }

    void draw(const Mask& mask, int left, int top, Rgb colour, int opacity = 255) {
        for (int y = 0; y < mask.height; ++y) {
            for (int x = 0; x < mask.width; ++x) {
                blend(left + x, top + y, colour, mask.at(x, y) * opacity / 255);
            }
        }
    }
};

// The mask grown by `radius` pixels in every direction (a disc), so that it
// can be drawn under the letters as their outline.
Mask grow(const Mask& mask, int radius) {
    Mask out;
    out.width = mask.width + 2 * radius;
    out.height = mask.height + 2 * radius;
    out.alpha.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), 0);
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            const std::uint8_t c = mask.at(x, y);
            if (c == 0) {
                continue;
            }
            for (int dy = -radius; dy <= radius; ++dy) {
                for (int dx = -radius; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > radius * radius) {
                        continue;
                    }
                    std::uint8_t& dst =
                        out.alpha[static_cast<std::size_t>(y + radius + dy) * static_cast<std::size_t>(out.width) +
                                  static_cast<std::size_t>(x + radius + dx)];
                    dst = std::max(dst, c);
                }
            }
        }
    }
    return out;
}

Canvas drawLogo(const Lettering& lettering) {
    Canvas logo(kLogoWidth, kLogoHeight);
    for (int y = 0; y < kLogoHeight; ++y) {
        const int t = y * 255 / (kLogoHeight - 1);
        const auto lerp = [t](std::uint8_t a, std::uint8_t b) {
            return static_cast<std::uint8_t>((a * (255 - t) + b * t + 127) / 255);
        };
        const Rgb row{lerp(kGradientTop.r, kGradientBottom.r), lerp(kGradientTop.g, kGradientBottom.g),
                      lerp(kGradientTop.b, kGradientBottom.b)};
        for (int x = 0; x < kLogoWidth; ++x) {
            logo.blend(x, y, row, 255);
        }
    }

    const std::array<std::string, 3> letters = {"R", "Z", "3"};
    const std::array<Rgb, 3> colours = {kGreen, kMagenta, kGreen};
    constexpr int kGap = 36;
    constexpr int kOutlineRadius = 7;
    constexpr int kShadowOffset = 12;
    std::array<Mask, 3> masks;
    int total = 0;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        masks[i] = lettering.fit(letters[i], 460, 280, 380);
        total += masks[i].width + (i > 0 ? kGap : 0);
    }
    int left = (kLogoWidth - total) / 2;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const int top = (kLogoHeight - masks[i].height) / 2;
        const Mask outline = grow(masks[i], kOutlineRadius);
        logo.draw(outline, left - kOutlineRadius + kShadowOffset, top - kOutlineRadius + kShadowOffset, kOutline, 150);
        logo.draw(outline, left - kOutlineRadius, top - kOutlineRadius, kOutline);
        logo.draw(masks[i], left, top, colours[i]);
        left += masks[i].width + kGap;
    }
    return logo;
}

Canvas drawCaption(const Lettering& lettering, const std::string& text) {
    Canvas strip(kStripWidth, kStripHeight);
    const Mask mask = lettering.fit(text, 92, kStripWidth - 96, 72);
    strip.draw(mask, (kStripWidth - mask.width) / 2, (kStripHeight - mask.height) / 2, kMagenta);
    return strip;
}

bool writeRaw(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "picgen: cannot create %s\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "picgen: cannot write %s\n", path.c_str());
        std::remove(path.c_str());
        return false;
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: picgen <font.ttf> <logo.rgb> <strips.rgb>\n");
        return 2;
    }
    Lettering lettering;
    std::string why;
    if (!lettering.open(argv[1], &why)) {
        std::fprintf(stderr, "picgen: %s\n", why.c_str());
        return 1;
    }

    const Canvas logo = drawLogo(lettering);
    const std::size_t stripBytes = std::size_t{kStripWidth} * kStripHeight * 3;
    std::vector<std::uint8_t> strips;
    strips.reserve(stripBytes * kStripCount);
    for (int s = 0; s < kStripCount; ++s) {
        if (s >= kFirstLogoStrip && s < kFirstLogoStrip + kLogoStrips) {
            const auto band = logo.rgb.begin() + static_cast<std::ptrdiff_t>(stripBytes) * (s - kFirstLogoStrip);
            strips.insert(strips.end(), band, band + static_cast<std::ptrdiff_t>(stripBytes));
        } else {
            const Canvas caption = drawCaption(lettering, kCaptions[static_cast<std::size_t>(s)]);
            strips.insert(strips.end(), caption.rgb.begin(), caption.rgb.end());
        }
    }

    const std::string logoPath = argv[2];
    const std::string stripsPath = argv[3];
    if (!writeRaw(logoPath, logo.rgb) || !writeRaw(stripsPath, strips) ||
        !picgen::writePreview(folderOf(logoPath) + "logo.png", kLogoWidth, kLogoHeight, logo.rgb.data())) {
        return 1;
    }
    for (int s = 0; s < kStripCount; ++s) {
        char name[32];
        std::snprintf(name, sizeof name, "strip_%02d.png", s);
        if (!picgen::writePreview(folderOf(stripsPath) + name, kStripWidth, kStripHeight,
                                  strips.data() + stripBytes * static_cast<std::size_t>(s))) {
            return 1;
        }
    }
    return 0;
}
