// Draws the program icon (resource 102) and writes it as a C++ source file:
// three merging blobs, magenta to cyan, lit from the top left, on a
// transparent background, 32 × 32, each pixel sampled 4 × 4 times.
//
// usage: riza3v_icongen <output.cpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 32;
constexpr int kSamples = 4;

struct Ball {
    float x, y, r;
};
constexpr Ball kBalls[] = {{10.0f, 11.0f, 5.4f}, {22.0f, 10.5f, 4.6f}, {16.0f, 22.0f, 5.2f}};

float field(float x, float y) {
    float f = 0.0f;
    for (const Ball& b : kBalls) {
        const float d2 = (x - b.x) * (x - b.x) + (y - b.y) * (y - b.y);
        f += b.r * b.r / std::max(d2, 1e-3f);
    }
    return f;
}

struct Colour {
    float r, g, b;
};

// Colour of a point inside the surface (field >= 1): a vertical blend from
// magenta to cyan, darkened toward the rim, with a highlight up and left.
Colour shade(float x, float y) {
    const float t = std::clamp((y - 4.0f) / 24.0f, 0.0f, 1.0f);
    Colour c{1.0f - t, t * 0.9f, 1.0f};
    const float inside = std::clamp((field(x, y) - 1.0f) / 2.0f, 0.0f, 1.0f);
    const float light = 0.45f + 0.55f * std::sqrt(inside);
    c = {c.r * light, c.g * light, c.b * light};
    const float gx = field(x + 0.5f, y) - field(x - 0.5f, y);
    const float gy = field(x, y + 0.5f) - field(x, y - 0.5f);
    const float len = std::hypot(gx, gy);
    if (len > 0.0f) {
        // The field rises inward, so its gradient points away from the rim.
        const float facing = std::clamp((gx + gy) / (len * 1.41421356f), 0.0f, 1.0f);
        const float shine = std::pow(facing, 6.0f) * (1.0f - inside) * 0.8f;
        c = {std::min(1.0f, c.r + shine), std::min(1.0f, c.g + shine), std::min(1.0f, c.b + shine)};
    }
    return c;
}

std::uint32_t pixel(int px, int py) {
    float r = 0, g = 0, b = 0;
    int covered = 0;
    for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
            const float x = px + (sx + 0.5f) / kSamples;
            const float y = py + (sy + 0.5f) / kSamples;
            const float f = field(x, y);
            if (f < 0.8f) {
                continue;
            }
            ++covered;
            // A dark outline just outside the surface keeps the shape
            // readable on light and dark title bars alike.
            if (f < 1.0f) {
                r += 0.08f;
                g += 0.02f;
                b += 0.15f;
                continue;
            }
            const Colour c = shade(x, y);
            r += c.r;
            g += c.g;
            b += c.b;
        }
    }
    if (covered == 0) {
        return 0;
    }
    auto channel = [covered](float v) {
        return static_cast<std::uint32_t>(std::clamp(v / covered, 0.0f, 1.0f) * 255.0f + 0.5f);
    };
    const std::uint32_t alpha = static_cast<std::uint32_t>(covered * 255 / (kSamples * kSamples));
    return (alpha << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.cpp>\n", argv[0]);
        return 2;
    }
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            pixels.push_back(pixel(x, y));
        }
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Drawn by tools/icongen when the program is built.\n"
                 "#include \"platform/win32/resource.h\"\n\n"
                 "#include <cstdint>\n\n"
                 "namespace {\nconst std::uint32_t pixels[%d] = {\n",
                 kSize * kSize);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::fprintf(out, "%s0x%08Xu,%s", i % 8 == 0 ? "    " : "", pixels[i], i % 8 == 7 ? "\n" : " ");
    }
    std::fprintf(out,
                 "};\n} // namespace\n\n"
                 "extern const IconImage kProgramIcon;\n"
                 "const IconImage kProgramIcon = {%d, %d, pixels};\n",
                 kSize, kSize);
    const bool ok = std::fclose(out) == 0;
    return ok ? 0 : 1;
}
