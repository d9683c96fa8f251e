#include "tests/platform/win32/picture_png.h"

#include "tests/support/png.h"

#include <cstdint>
#include <cstdlib>

namespace platform::win32::test {

bool writePng(const std::string& path, const platform::win32::Picture& picture) {
    return tests::support::writeArgbPng(path, static_cast<std::uint32_t>(picture.width),
                                        static_cast<std::uint32_t>(picture.height), picture.pixels.data());
}

std::string screenshotDir() {
    const char* dir = std::getenv("RIZA3V_SCREENSHOT_DIR");
    return dir != nullptr ? std::string(dir) : std::string();
}

} // namespace platform::win32::test
