// PNG files of what tests drew, for looking at when a test is asked to keep them.
#pragma once

#include <cstdint>
#include <string>

namespace tests::support {

// Writes width x height 0xAARRGGBB pixels, rows top down, as an 8-bit RGBA
// PNG; false when the file cannot be written.
bool writeArgbPng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint32_t* pixels);

} // namespace tests::support
