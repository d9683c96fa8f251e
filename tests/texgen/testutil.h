// Helpers shared by the texture generator tests.
#pragma once

#include "texgen/plane.h"

#include <cstdint>
#include <functional>

namespace texgen::test {

// An independent copy of the published generator (state * 214013 + 2531011,
// bits 16..30), to work out what the random operations must draw.
struct Lcg {
    explicit Lcg(std::uint32_t seed) : state(seed) {}
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }
    std::uint32_t state;
};

// A plane with pixel (x, y) = f(x, y) (low 8 bits).
inline texgen::Plane planeOf(const std::function<int(int, int)>& f) {
    texgen::Plane p;
    for (int y = 0; y < texgen::kPlaneSide; ++y) {
        for (int x = 0; x < texgen::kPlaneSide; ++x) {
            p.at(x, y) = static_cast<std::uint8_t>(f(x, y) & 255);
        }
    }
    return p;
}

inline texgen::Plane constant(int v) {
    texgen::Plane p;
    p.pixels.fill(static_cast<std::uint8_t>(v));
    return p;
}

// A plane of pseudo-random bytes (a hash of the position, not the crt generator).
inline texgen::Plane noisyPlane(unsigned salt) {
    return planeOf([salt](int x, int y) {
        std::uint32_t h = (static_cast<std::uint32_t>(x) * 73856093u) ^ (static_cast<std::uint32_t>(y) * 19349663u) ^
                          (salt * 83492791u);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        return static_cast<int>(h & 255u);
    });
}

} // namespace texgen::test
