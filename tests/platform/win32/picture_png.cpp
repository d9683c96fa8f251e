#include "tests/platform/win32/picture_png.h"

#include "tests/support/png.h"

#include <cstdint>
#include <cstdlib>

namespace testing_png {

bool writePng(const std::string& path, const platform::Picture& picture) {
    return tests::support::writeArgbPng(path, static_cast<std::uint32_t>(picture.width),
                                        static_cast<std::uint32_t>(picture.height), picture.pixels.data());
}

std::string screenshotDir() {
    const char* dir = std::getenv("RIZA3V_SCREENSHOT_DIR");
    return dir != nullptr ? std::string(dir) : std::string();
}

} // namespace testing_png
