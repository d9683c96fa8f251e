#include "resources/texprograms/texprograms.h"

#include <array>
#include <cstddef>

namespace resources {

namespace {

// clang-format off
constexpr std::array<std::uint8_t, 78> kBlock = {
    // program 2: tinted cells (offset 0, 16 bytes)
    0x1e, 0x00, 0x45, 0x46, 0xdb, 0x03, 0x17, 0x1e, 0x00, 0x99, 0x80, 0x1e, 0x00, 0xa3, 0x80, 0x00,
    0x00,
    // program 5: blurred displaced plasma (offset 17, 16 bytes)
    0x58, 0x06, 0x0d, 0x99, 0x9e, 0x6b, 0x58, 0x04, 0x02, 0xa6, 0x01, 0x81, 0x81, 0x80, 0x80, 0x00,
    0x00,
    // program 4: displaced radial gradient in green (offset 34, 14 bytes)
    0x00, 0x1e, 0x00, 0xff, 0x0d, 0x99, 0xff, 0xff, 0x44, 0x02, 0x80, 0x80, 0x00, 0x00,
    0x00,
    // program 1: three channels of fractal noise (offset 49, 13 bytes)
    0x0c, 0x18, 0x55, 0x01, 0x0c, 0x5d, 0x66, 0x01, 0x0c, 0xe4, 0x66, 0x01, 0x00,
    0x00,
    // program 3: blurred bit-pattern stripes (offset 63, 15 bytes)
    0x58, 0x03, 0x19, 0x03, 0x14, 0x08, 0x08, 0x38, 0x30, 0x08, 0x54, 0x02, 0x80, 0x80, 0x80,
};
// clang-format on

struct Extent {
    std::size_t offset;
    std::size_t size;
};

// Programs 1..5 by number.
constexpr std::array<Extent, kTextureProgramCount> kExtents = {{
    {49, 13},
    {0, 16},
    {63, 15},
    {34, 14},
    {17, 16},
}};

} // namespace

std::span<const std::uint8_t> textureProgramBlock() {
    return kBlock;
}

std::span<const std::uint8_t> textureProgram(int number) {
    if (number < 1 || number > kTextureProgramCount) {
        return {};
    }
    const Extent& e = kExtents[static_cast<std::size_t>(number - 1)];
    return std::span<const std::uint8_t>(kBlock).subspan(e.offset, e.size);
}

} // namespace resources
