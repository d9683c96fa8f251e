#include "texgen/sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace texgen {

float sampleBilinear(float x, float y, const Plane& plane) {
    const int ix = static_cast<int>(x);
    const int iy = static_cast<int>(y);
    const float fx = x - static_cast<float>(ix);
    const float fy = y - static_cast<float>(iy);
    const float p00 = plane.at(ix, iy);
    const float p10 = plane.at(ix + 1, iy);
    const float p01 = plane.at(ix, iy + 1);
    const float p11 = plane.at(ix + 1, iy + 1);
    return (1.0f - fy) * ((1.0f - fx) * p00 + fx * p10) + fy * ((1.0f - fx) * p01 + fx * p11);
}

namespace {

// Updates one displacement sample from its source at (x, y) by mode.
void displacementSample(int& sample, unsigned mode, const Plane* source, int x, int y) {
    if (source == nullptr) {
        return;
    }
    if (mode == 0) {
        const int left = source->at(x - 1, y);
        const int right = source->at(x + 1, y);
        const int above = source->at(x, y - 1);
        const int below = source->at(x, y + 1);
        sample = (left - below - right + above) / 2;
    } else if (mode == 1) {
        sample = source->at(x, y);
    }
}

} // namespace

void displace(Plane& out, unsigned flags, unsigned xScale, unsigned yScale, const Plane& source, const Plane* xSource,
              const Plane* ySource) {
    const unsigned modeX = (flags >> 4) & 7u;
    const unsigned modeY = flags & 7u;
    const int sx = static_cast<int>(xScale);
    const int sy = static_cast<int>(yScale);
    int xs = 0;
    int ys = 0;
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            displacementSample(xs, modeX, xSource, x, y);
            displacementSample(ys, modeY, ySource, x, y);
            const float px = static_cast<float>(x) + static_cast<float>(xs * sx) * 0.003921569f;
            const float py = static_cast<float>(y) + static_cast<float>(ys * sy) * 0.003921569f;
            const float v = std::clamp(sampleBilinear(px, py, source), 0.0f, 255.0f);
            out.at(x, y) = static_cast<std::uint8_t>(static_cast<int>(v));
        }
    }
}

void twirl(Plane& out, unsigned cx, unsigned cy, unsigned diameter, unsigned strength, const Plane& source) {
    const int radius = static_cast<int>(diameter >> 1);
    if (radius == 0) {
        out = source;
        return;
    }
    const float r = static_cast<float>(radius);
    const float k = static_cast<float>(static_cast<int>(strength) - 127) / r * 0.0785375f;
    const float fcx = static_cast<float>(cx);
    const float fcy = static_cast<float>(cy);
    // The offset from the centre the short way round the torus.
    const auto nearest = [](int d) { return d > 128 ? d - 256 : (d < -128 ? d + 256 : d); };
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            const float dx = static_cast<float>(nearest(x - static_cast<int>(cx)));
            const float dy = static_cast<float>(nearest(y - static_cast<int>(cy)));
            const float d = std::sqrt(dx * dx + dy * dy);
            if (d >= r) {
                out.at(x, y) = source.at(x, y);
                continue;
            }
            const float a = (r - d) * k;
            const float c = std::cos(a);
            const float s = std::sin(a);
            const float rx = c * dx + s * dy;
            const float ry = c * dy - s * rx;
            const float v = sampleBilinear(fcx + rx, fcy + ry, source);
            out.at(x, y) = clampByte(static_cast<int>(v));
        }
    }
}

void tile(Plane& out, unsigned counts, const Plane& source) {
    const int nx = powerCount(hiNibble(counts));
    const int ny = powerCount(loNibble(counts));
    const int cw = kPlaneSide / nx;
    const int ch = kPlaneSide / ny;
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            out.at(x, y) = source.at((x % cw) * nx, (y % ch) * ny);
        }
    }
}

void scroll(Plane& out, unsigned dx, unsigned dy, const Plane& source) {
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            out.at(x, y) = source.at(x - static_cast<int>(dx), y - static_cast<int>(dy));
        }
    }
}

namespace {

// Direction k of 256 as (sin a, cos a), a = pi - k * 2pi/256 in the original
// single-precision constants: entry 0 steps up the rows, entry 64 along them.
const std::array<std::pair<float, float>, 256>& directionTable() {
    static const std::array<std::pair<float, float>, 256> table = [] {
        std::array<std::pair<float, float>, 256> t{};
        for (int k = 0; k < 256; ++k) {
            const float a = 3.1415927f - static_cast<float>(k) * 0.024543429f;
            t[static_cast<std::size_t>(k)] = {std::sin(a), std::cos(a)};
        }
        return t;
    }();
    return table;
}

} // namespace

void motionBlur(Plane& out, unsigned length, unsigned direction, const Plane& source, const Plane* directionMap) {
    if (length == 0) {
        out = source;
        return;
    }
    const auto& table = directionTable();
    const float scale = 1.0f / static_cast<float>(length);
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            const unsigned k = directionMap != nullptr ? directionMap->at(x, y) : direction & 255u;
            const auto [stepX, stepY] = table[k];
            float px = static_cast<float>(x);
            float py = static_cast<float>(y);
            float sum = 0.0f;
            for (unsigned i = 0; i < length; ++i) {
                px += stepX;
                py += stepY;
                sum += sampleBilinear(px, py, source);
            }
            out.at(x, y) = static_cast<std::uint8_t>(static_cast<int>(sum * scale) & 255);
        }
    }
}

} // namespace texgen
