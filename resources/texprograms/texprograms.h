// The five texture programs the show runs at start-up, numbered in the order
// it runs them (1..5). They lie back to back in one block of read-only data
// in the order 2, 5, 4, 1, 3 with a zero byte between neighbours.
#pragma once

#include <cstdint>
#include <span>

namespace resources {

inline constexpr int kTextureProgramCount = 5;

// The whole block of program bytes as laid out.
std::span<const std::uint8_t> textureProgramBlock();

// The bytes of program `number` (1..5) within the block; empty for other numbers.
std::span<const std::uint8_t> textureProgram(int number);

} // namespace resources
