// The pictures the show carries: raw 24-bit pixels (red, green, blue bytes,
// rows top to bottom, no header) that tools/picgen draws when the project is
// built, and their conversion to 32-bit pixels.
//
// The logo is three letters in green and magenta over a green-to-purple
// gradient. The fifteen strips are stored one after the other: strips 3 to 6
// are the logo's four bands of 128 rows, top band first (strip 3 holds logo
// rows 0 to 127, strip 6 rows 384 to 511); the others are captions in magenta
// capitals on black, strips 1 and 2 the same one.
#pragma once

#include <cstdint>
#include <vector>

namespace resources {

inline constexpr int kLogoWidth = 1024;
inline constexpr int kLogoHeight = 512;
inline constexpr int kStripWidth = 1024;
inline constexpr int kStripHeight = 128;
inline constexpr int kStripCount = 15;
// Stored strip numbers of the twelve captions, in the order the timeline shows them.
inline constexpr int kCaptionStrips[12] = {0, 7, 8, 9, 10, 11, 12, 13, 14, 1, 2, 3};

// The embedded logo, 1,572,864 bytes.
std::vector<std::uint8_t> logoPicture();
// The embedded strips one after the other, 393,216 bytes each.
std::vector<std::uint8_t> stripPictures();

// Alpha 0xFF, then the three bytes of each pixel as red, green and blue.
std::vector<std::uint32_t> toPixels32(const std::uint8_t* rgb, int width, int height);

} // namespace resources
