#include "tools/picgen/preview.h"

#include "tools/pngfile/pngfile.h"

#include <cstdio>

namespace picgen {

bool writePreview(const std::string& path, int width, int height, const std::uint8_t* rgb) {
    std::string why;
    if (!pngfile::writePng(path, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 3, rgb, &why)) {
        std::fprintf(stderr, "picgen: %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    return true;
}

} // namespace picgen
