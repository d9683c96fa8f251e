// PNG files over libpng's simplified write interface.
#pragma once

#include <cstdint>
#include <string>

namespace pngfile {

// Writes width x height pixels of `channels` bytes each (1 grey, 3 R G B,
// 4 R G B A), rows top down and packed. On failure returns false, with
// libpng's or the system's reason in `why` when it is given; a file that
// could not be finished is removed.
bool writePng(const std::string& path, std::uint32_t width, std::uint32_t height, int channels,
              const std::uint8_t* bytes, std::string* why = nullptr);

// The same for 0xAARRGGBB pixels, written as 8-bit RGBA.
bool writeArgbPng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint32_t* pixels,
                  std::string* why = nullptr);

} // namespace pngfile
