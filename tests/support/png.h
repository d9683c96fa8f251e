// PNG files in tests: pictures read back from files, and what tests drew kept
// for looking at when RIZA3V_TEST_PNG_DIR names a folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tests::support {

struct PngPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 0;
    std::vector<std::uint8_t> bytes; // rows top down, packed
    // The pixel at (x, y) as 0xRRGGBB (0xRRGGBBAA with four channels).
    std::uint32_t at(int x, int y) const;
};

// Reads a PNG as 8-bit pixels of 3 (RGB) or 4 (RGBA) channels; an empty
// picture when the file cannot be read.
PngPicture readPng(const std::string& path, int channels);

// When RIZA3V_TEST_PNG_DIR is set, writes width x height 0xAARRGGBB pixels,
// rows top down, there as "Suite.Test-name.png" (opaque, when `opaque`), and
// fails the test when the file cannot be written.
void keepPicture(const std::string& name, std::uint32_t width, std::uint32_t height, const std::uint32_t* pixels,
                 bool opaque = false);

} // namespace tests::support
