// Plane: the unit of work of the texture generator, a 256 x 256 single-channel
// byte image whose coordinates wrap around in both directions, so that every
// generated texture tiles seamlessly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace texgen {

inline constexpr int kPlaneSide = 256;
inline constexpr std::size_t kPlaneSize = 65536;

struct Plane {
    // Row-major: pixel (x, y) is at y * 256 + x. A new Plane is all zero.
    std::array<std::uint8_t, kPlaneSize> pixels{};

    // Index of the pixel at (x, y) taken modulo 256 in both directions.
    static constexpr std::size_t index(int x, int y) {
        return (static_cast<std::size_t>(y & 255) << 8) | static_cast<std::size_t>(x & 255);
    }
    std::uint8_t& at(int x, int y) { return pixels[index(x, y)]; }
    std::uint8_t at(int x, int y) const { return pixels[index(x, y)]; }
};

// The value of a byte clamped to 0..255.
constexpr std::uint8_t clampByte(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Upper and lower nibble of a nibble-pair parameter.
constexpr unsigned hiNibble(unsigned p) {
    return (p >> 4) & 15u;
}
constexpr unsigned loNibble(unsigned p) {
    return p & 15u;
}

// 2^min(n, 8): a count that doubles from 1 with each step of n and stops at 256.
constexpr int powerCount(unsigned n) {
    return 1 << (n < 8 ? n : 8);
}

} // namespace texgen
