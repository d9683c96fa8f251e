// Writes pictures of this layer as PNG files, for tests that keep what they
// drew when asked to.
#pragma once

#include "platform/win32/script.h"

#include <string>

namespace platform::win32::test {

// Writes 0xAARRGGBB pixels, rows top down, as an 8-bit RGBA PNG.
bool writePng(const std::string& path, const platform::win32::Picture& picture);

// The folder named by RIZA3V_SCREENSHOT_DIR, or empty when unset.
std::string screenshotDir();

} // namespace platform::win32::test
