#include "tests/support/png.h"

#include "tools/pngfile/pngfile.h"

namespace tests::support {

bool writeArgbPng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint32_t* pixels) {
    return pngfile::writeArgbPng(path, width, height, pixels);
}

} // namespace tests::support
