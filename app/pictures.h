// The pictures the show carries: raw 24-bit pixels (red, green, blue bytes,
// rows top to bottom, no header) and their conversion to 32-bit pixels.
//
// Until the drawn pictures exist, stand-ins of the same sizes and layout are
// made here when the program starts: a logo of three letter blocks over a
// green-to-purple gradient, and fifteen strips of magenta marks on black
// (strips 1 and 2 alike, strips 3 to 6 the logo in quarters).
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kLogoWidth = 1024;
inline constexpr int kLogoHeight = 512;
inline constexpr int kStripWidth = 1024;
inline constexpr int kStripHeight = 128;
inline constexpr int kStripCount = 15;
// Stored strip numbers of the twelve captions, in the order the timeline shows them.
inline constexpr int kCaptionStrips[12] = {0, 7, 8, 9, 10, 11, 12, 13, 14, 1, 2, 3};

// 1,572,864 bytes.
std::vector<std::uint8_t> logoPicture();
// The fifteen strips one after the other, 393,216 bytes each.
std::vector<std::uint8_t> stripPictures();

// Alpha 0xFF, then the three bytes of each pixel as red, green and blue.
std::vector<std::uint32_t> toPixels32(const std::uint8_t* rgb, int width, int height);
