#include "texgen/generators.h"

#include "platform/crt/random.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

namespace texgen {

void fill(Plane& out, unsigned value) {
    out.pixels.fill(static_cast<std::uint8_t>(value));
}

void fillGrey(Plane& out, unsigned) {
    out.pixels.fill(128);
}

namespace {

// One square of the plasma and, by the loop, its bottom-right descendants.
// Corners come from earlier squares (the first square's four corners are the
// single pixel (0, 0)); edge midpoints carry no noise, so two squares that
// share an edge write the same values on it.
void subdivide(Plane& out, int x, int y, int size, unsigned level, unsigned roughness) {
    while (size >= 2) {
        const int h = size / 2;
        const int tl = out.at(x, y);
        const int tr = out.at(x + size, y);
        const int bl = out.at(x, y + size);
        const int br = out.at(x + size, y + size);
        const int top = (tl + tr) >> 1;
        const int left = (tl + bl) >> 1;
        const int right = (tr + br) >> 1;
        const int bottom = (bl + br) >> 1;
        // Right shift of a negative int is arithmetic (rounds toward minus infinity) since C++20.
        const int noise = ((platform::crt::rand() & 511) - 256) >> ((level * roughness) & 31u);
        const int centre = clampByte(noise + (top + left + right + bottom) / 4);
        out.at(x + h, y) = static_cast<std::uint8_t>(top);
        out.at(x, y + h) = static_cast<std::uint8_t>(left);
        out.at(x + size, y + h) = static_cast<std::uint8_t>(right);
        out.at(x + h, y + size) = static_cast<std::uint8_t>(bottom);
        out.at(x + h, y + h) = static_cast<std::uint8_t>(centre);
        subdivide(out, x, y, h, level + 1, roughness);
        subdivide(out, x + h, y, h, level + 1, roughness);
        subdivide(out, x, y + h, h, level + 1, roughness);
        x += h;
        y += h;
        size = h;
        ++level;
    }
}

} // namespace

void plasma(Plane& out, unsigned seed, unsigned roughness) {
    out.at(0, 0) = 127;
    platform::crt::srand(seed);
    subdivide(out, 0, 0, kPlaneSide, 0, roughness);
}

void sineWaves(Plane& out, unsigned xPhase, unsigned yPhase, unsigned xFrequency, unsigned yFrequency) {
    // Angles grow by repeated single-precision addition, as the original loop did.
    const float xStep = static_cast<float>(xFrequency) * 0.024542969f;
    const float yStep = static_cast<float>(yFrequency) * 0.024542969f;
    const float xStart = static_cast<float>(xPhase) * 0.012271484f;
    float yAngle = static_cast<float>(yPhase) * 0.012271484f;
    for (int y = 0; y < kPlaneSide; ++y) {
        const int rowPart = 127 + static_cast<int>(63.5f * std::sin(yAngle));
        float xAngle = xStart;
        for (int x = 0; x < kPlaneSide; ++x) {
            out.at(x, y) = static_cast<std::uint8_t>(rowPart + static_cast<int>(63.5f * std::sin(xAngle)));
            xAngle += xStep;
        }
        yAngle += yStep;
    }
}

void radialGradient(Plane& out, unsigned power) {
    const float radius = std::sqrt(32768.0f);
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            const float u = static_cast<float>(x - 128);
            const float w = static_cast<float>(y - 128);
            float v = (radius - std::sqrt(u * u + w * w)) / radius;
            // Once v reaches 0 further squaring keeps it there.
            for (unsigned i = 0; i < power && v > 0.0f; ++i) {
                v *= v;
            }
            out.at(x, y) = static_cast<std::uint8_t>(static_cast<int>(255.0f * v));
        }
    }
}

void cells(Plane& out, unsigned seed, unsigned mode, unsigned count) {
    struct Point {
        int x;
        int y;
    };
    platform::crt::srand(seed);
    std::vector<Point> points(count);
    for (Point& p : points) {
        p.x = platform::crt::rand() & 255;
        p.y = platform::crt::rand() & 255;
    }

    std::vector<float> values(kPlaneSize);
    float lowest = 256.0f;
    float highest = 0.0f;
    // Squared distances order as the distances do (distinct integers up to
    // 2 * 128^2 have distinct single-precision roots), so the two smallest are
    // found in integers, a whole row at a time, and rooted once per pixel;
    // 65,536 is 256 squared. The two smallest of all points do not depend on
    // the order in which the points are visited.
    std::array<int, kPlaneSide> nearestRow{};
    std::array<int, kPlaneSide> secondRow{};
    for (int y = 0; y < kPlaneSide; ++y) {
        nearestRow.fill(65536);
        secondRow.fill(65536);
        for (const Point& p : points) {
            int dy = std::abs(y - p.y);
            dy = std::min(dy, 256 - dy);
            const int dy2 = dy * dy;
            for (int x = 0; x < kPlaneSide; ++x) {
                int dx = std::abs(x - p.x);
                dx = std::min(dx, 256 - dx);
                const int d = dx * dx + dy2;
                const auto i = static_cast<std::size_t>(x);
                // A tie with F1 goes to F2.
                secondRow[i] = std::min(secondRow[i], std::max(nearestRow[i], d));
                nearestRow[i] = std::min(nearestRow[i], d);
            }
        }
        for (int x = 0; x < kPlaneSide; ++x) {
            const int nearest = nearestRow[static_cast<std::size_t>(x)];
            const int second = secondRow[static_cast<std::size_t>(x)];
            const float f1 = std::sqrt(static_cast<float>(nearest));
            const float f2 = std::sqrt(static_cast<float>(second));
            float value = 0.0f;
            switch (mode) {
            case 0:
                value = f1;
                break;
            case 1:
                value = 255.0f - f1;
                break;
            case 2:
                value = f2 - f1;
                break;
            case 3:
                value = f1 * f2 * 0.0078125f;
                break;
            default:
                break;
            }
            values[Plane::index(x, y)] = value;
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
        }
    }

    const float range = highest - lowest;
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        out.pixels[i] =
            range > 0.0f ? static_cast<std::uint8_t>(static_cast<int>((values[i] - lowest) / range * 255.0f)) : 0;
    }
}

void randomBlocks(Plane& out, unsigned seed, unsigned grid, unsigned low, unsigned high) {
    if (low == high) {
        fill(out, low);
        return;
    }
    const int nx = powerCount(hiNibble(grid));
    const int ny = powerCount(loNibble(grid));
    const int width = kPlaneSide / nx;
    const int height = kPlaneSide / ny;
    const int spread = std::abs(static_cast<int>(high) - static_cast<int>(low));
    platform::crt::srand(seed);
    for (int by = 0; by < ny; ++by) {
        for (int bx = 0; bx < nx; ++bx) {
            const auto value = static_cast<std::uint8_t>(static_cast<int>(low) + platform::crt::rand() % spread);
            for (int y = by * height; y < (by + 1) * height; ++y) {
                for (int x = bx * width; x < (bx + 1) * width; ++x) {
                    out.at(x, y) = value;
                }
            }
        }
    }
}

void bitPattern(Plane& out, unsigned masks, unsigned shifts) {
    const unsigned mx = (255u << hiNibble(masks)) & 255u;
    const unsigned my = (255u << loNibble(masks)) & 255u;
    for (unsigned y = 0; y < 256; ++y) {
        for (unsigned x = 0; x < 256; ++x) {
            const unsigned v = ((x & mx) << hiNibble(shifts)) ^ ((y & my) << loNibble(shifts));
            out.pixels[y * 256 + x] = static_cast<std::uint8_t>(v & 255u);
        }
    }
}

namespace {

// Cell and position within the cell of coordinate c on an axis cut into
// `count` cells of `size`; the remainder of 256 / count joins the last cell.
struct CellPos {
    int cell;
    int offset;
};
CellPos cellOf(int c, int size, int count) {
    const int cell = std::min(c / size, count - 1);
    return {cell, c - cell * size};
}

// Bricks (mortar on the first row and column of each brick, even rows of
// bricks shifted half a brick right) or, given a tile side, tiles (brick
// colour at 0 < column, row < side within each cell, mortar elsewhere).
void brickGrid(Plane& out, std::uint8_t mortar, std::uint8_t brick, int gx, int gy, std::optional<int> tileSide) {
    const int w = kPlaneSide / (gx + 1);
    const int h = kPlaneSide / (gy + 1);
    for (int y = 0; y < kPlaneSide; ++y) {
        const CellPos row = cellOf(y, h, gy + 1);
        const int shift = !tileSide && row.cell % 2 == 0 ? w / 2 : 0;
        for (int x = 0; x < kPlaneSide; ++x) {
            const CellPos col = cellOf((x - shift) & 255, w, gx + 1);
            const bool isBrick =
                tileSide ? col.offset > 0 && col.offset < *tileSide && row.offset > 0 && row.offset < *tileSide
                         : col.offset != 0 && row.offset != 0;
            out.at(x, y) = isBrick ? brick : mortar;
        }
    }
}

} // namespace

void shapes(Plane& out, unsigned mode, unsigned colour1, unsigned colour2, unsigned grid, unsigned size) {
    const auto c1 = static_cast<std::uint8_t>(colour1);
    const auto c2 = static_cast<std::uint8_t>(colour2);
    const int gx = static_cast<int>(hiNibble(grid));
    const int gy = static_cast<int>(loNibble(grid));
    switch (mode) {
    case 0: {
        // A nibble above 8 means one square across that direction, as 0 does.
        const int sx = gx > 8 ? 8 : 8 - gx;
        const int sy = gy > 8 ? 8 : 8 - gy;
        for (int y = 0; y < kPlaneSide; ++y) {
            for (int x = 0; x < kPlaneSide; ++x) {
                out.at(x, y) = (((x >> sx) ^ (y >> sy)) & 1) != 0 ? c1 : c2;
            }
        }
        break;
    }
    case 1:
        brickGrid(out, c1, c2, gx, gy, std::nullopt);
        break;
    case 2: {
        const int w = kPlaneSide / (gx + 1);
        const int h = kPlaneSide / (gy + 1);
        const int t = std::min({static_cast<int>(size), w, h});
        brickGrid(out, c1, c2, gx, gy, t);
        break;
    }
    default:
        break;
    }
}

namespace {

// Clears the plane, then hands `stamp` every pixel of `count` squares of
// side 2 * radius, centred where the seeded generator says.
template <typename Stamp> void scatter(Plane& out, unsigned seed, unsigned count, int radius, Stamp stamp) {
    out.pixels.fill(0);
    platform::crt::srand(seed);
    for (unsigned i = 0; i < count; ++i) {
        const int cx = platform::crt::rand() & 255;
        const int cy = platform::crt::rand() & 255;
        for (int dy = -radius; dy < radius; ++dy) {
            for (int dx = -radius; dx < radius; ++dx) {
                stamp(out.at(cx + dx, cy + dy), dx, dy);
            }
        }
    }
}

} // namespace

void spots(Plane& out, unsigned seed, unsigned mode, unsigned count, unsigned diameter) {
    const int r = static_cast<int>(diameter >> 1);
    const float rf = static_cast<float>(r);
    scatter(out, seed, count, r, [&](std::uint8_t& p, int dx, int dy) {
        const float d = std::min(std::sqrt(static_cast<float>(dx * dx + dy * dy)), rf);
        const float fall = 1.0f - d / rf;
        const int v = static_cast<int>(255.0f * (fall * fall));
        switch (mode) {
        case 0:
            p = clampByte(p + v);
            break;
        case 1:
            p = static_cast<std::uint8_t>(std::abs(v - p));
            break;
        default:
            p = static_cast<std::uint8_t>(v);
            break;
        }
    });
}

void glows(Plane& out, unsigned seed, unsigned count, unsigned size) {
    const float sizef = static_cast<float>(size);
    scatter(out, seed, count, static_cast<int>(size >> 1), [&](std::uint8_t& p, int dx, int dy) {
        const float falloff = 8.0f * sizef / static_cast<float>(dx * dx + dy * dy + 1);
        const int v = static_cast<int>(falloff * (sizef * 0.015625f));
        p = clampByte(p + v);
    });
}

} // namespace texgen
