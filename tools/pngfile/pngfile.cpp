#include "tools/pngfile/pngfile.h"

#include <png.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pngfile {

bool writePng(const std::string& path, std::uint32_t width, std::uint32_t height, int channels,
              const std::uint8_t* bytes, std::string* why) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    switch (channels) {
    case 1:
        image.format = PNG_FORMAT_GRAY;
        break;
    case 3:
        image.format = PNG_FORMAT_RGB;
        break;
    case 4:
        image.format = PNG_FORMAT_RGBA;
        break;
    default:
        if (why != nullptr) {
            *why = "unsupported channel count";
        }
        return false;
    }
    errno = 0;
    if (png_image_write_to_file(&image, path.c_str(), 0, bytes, 0, nullptr) != 0) {
        return true;
    }
    const int error = errno;
    if (why != nullptr) {
        // libpng's message for its own faults; the system's for a failed write or close.
        *why = error != 0 ? std::strerror(error) : image.message;
    }
    std::remove(path.c_str());
    return false;
}

bool writeArgbPng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint32_t* pixels,
                  std::string* why) {
    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<std::uint8_t> rgba(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        rgba[4 * i] = static_cast<std::uint8_t>(pixels[i] >> 16);
        rgba[4 * i + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
        rgba[4 * i + 2] = static_cast<std::uint8_t>(pixels[i]);
        rgba[4 * i + 3] = static_cast<std::uint8_t>(pixels[i] >> 24);
    }
    return writePng(path, width, height, 4, rgba.data(), why);
}

} // namespace pngfile
