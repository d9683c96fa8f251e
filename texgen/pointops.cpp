#include "texgen/pointops.h"

#include <algorithm>
#include <cmath>

namespace texgen {

namespace {

// The amount at pixel i: the mask's value there when a mask is given.
int amountAt(unsigned amount, const Plane* mask, std::size_t i) {
    return mask != nullptr ? mask->pixels[i] : static_cast<int>(amount);
}

// Writes stretch(v) = trunc((v - lo) * 255 / (hi - lo)) of `source`; 0 when hi = lo.
void stretch(Plane& out, const Plane& source, int lo, int hi) {
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        out.pixels[i] = hi > lo ? static_cast<std::uint8_t>((source.pixels[i] - lo) * 255 / (hi - lo)) : 0;
    }
}

} // namespace

void levels(Plane& out, unsigned lo, unsigned hi, const Plane& source) {
    const float slope = static_cast<float>(static_cast<int>(hi) - static_cast<int>(lo)) * 0.003921569f;
    const float base = static_cast<float>(lo);
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        out.pixels[i] =
            static_cast<std::uint8_t>(static_cast<int>(base + static_cast<float>(source.pixels[i]) * slope));
    }
}

void clampRange(Plane& out, unsigned mode, unsigned lo, unsigned hi, const Plane& source) {
    const auto below = static_cast<std::uint8_t>(mode == 0 ? lo : 0);
    const auto above = static_cast<std::uint8_t>(mode == 0 ? hi : 255);
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        std::uint8_t v = source.pixels[i];
        if (v < lo) {
            v = below;
        }
        if (v > hi) {
            v = above;
        }
        out.pixels[i] = v;
    }
}

void multiplyWrap(Plane& out, unsigned p, const Plane& source) {
    const unsigned factor = p & 127u;
    const bool fold = (p & 128u) != 0;
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        const unsigned m = source.pixels[i] * factor;
        const unsigned low = m & 255u;
        out.pixels[i] = static_cast<std::uint8_t>(fold && (m & 256u) == 0 ? 255u - low : low);
    }
}

void invert(Plane& out, const Plane& source) {
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        out.pixels[i] = static_cast<std::uint8_t>(255 - source.pixels[i]);
    }
}

void curve(Plane& out, unsigned mode, const Plane& source) {
    if (mode > 1) {
        return;
    }
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        const float t = static_cast<float>(source.pixels[i]) * 0.003921569f;
        const float v = mode == 0 ? 255.0f * std::sin(t * 3.1415f) : 255.0f * (t * t) * (3.0f - 2.0f * t);
        out.pixels[i] = static_cast<std::uint8_t>(static_cast<int>(v));
    }
}

void lightenDarken(Plane& out, unsigned amount, const Plane& source, const Plane* mask) {
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        const int v = source.pixels[i];
        const int s = amountAt(amount, mask, i);
        int result = v;
        if (s > 128) {
            result = static_cast<int>(static_cast<float>(v) +
                                      static_cast<float>(s - 128) * 0.0078125f * static_cast<float>(255 - v));
        } else if (s < 128) {
            result = v * s / 128;
        }
        out.pixels[i] = static_cast<std::uint8_t>(result);
    }
}

void brightness(Plane& out, unsigned amount, const Plane& source, const Plane* mask) {
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        out.pixels[i] = clampByte(source.pixels[i] + amountAt(amount, mask, i) - 127);
    }
}

void contrast(Plane& out, unsigned amount, const Plane& source, const Plane* mask) {
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        const int s = amountAt(amount, mask, i);
        const int k = static_cast<int>(-100.0f + static_cast<float>(s) / 255.0f * 200.0f);
        const int d = 127 * k / 100;
        const float v = static_cast<float>(source.pixels[i] - d) / static_cast<float>(255 - 2 * d) * 255.0f;
        out.pixels[i] = clampByte(static_cast<int>(v));
    }
}

void normalise(Plane& out, const Plane& source) {
    const auto [lo, hi] = std::minmax_element(source.pixels.begin(), source.pixels.end());
    stretch(out, source, *lo, *hi);
}

void normaliseJoint(Plane& out, const Plane& first, const Plane& second, const Plane& third, const Plane& fourth) {
    int lo = 255;
    int hi = 0;
    for (const Plane* p : {&first, &second, &third, &fourth}) {
        const auto [pl, ph] = std::minmax_element(p->pixels.begin(), p->pixels.end());
        lo = std::min<int>(lo, *pl);
        hi = std::max<int>(hi, *ph);
    }
    stretch(out, first, lo, hi);
}

void combine(Plane& out, unsigned mode, unsigned extra, const Plane& a, const Plane& b, const Plane* mask) {
    if (mode > 10) {
        return;
    }
    const int e = static_cast<int>(extra & 255u);
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        const int va = a.pixels[i];
        const int vb = b.pixels[i];
        int v = 0;
        switch (mode) {
        case 0:
            v = va + vb;
            break;
        case 1:
        case 7:
            v = va - vb;
            break;
        case 2:
            v = (va * vb) >> 8;
            break;
        case 3:
            v = ((256 * va) / (256 * vb + 1)) >> 8;
            break;
        case 4:
            v = ((va * e) >> 8) + ((vb * (255 - e)) >> 8);
            break;
        case 5:
            v = (256 * va * vb + va + vb) >> 8;
            break;
        case 6: {
            const int m = mask != nullptr ? mask->pixels[i] : 0;
            v = (((255 - m) * va) >> 8) + ((vb * m) >> 8);
            break;
        }
        case 8:
            v = std::max(va, vb);
            break;
        case 9:
            v = std::min(va, vb);
            break;
        default:
            v = va == e ? va : vb;
            break;
        }
        out.pixels[i] = clampByte(v);
    }
}

} // namespace texgen
