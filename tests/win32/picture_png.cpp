#include "tests/win32/picture_png.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace testing_png {

bool writePng(const std::string& path, const platform::Picture& picture) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(picture.width) * 4);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            row[static_cast<std::size_t>(x) * 4 + 0] = static_cast<png_byte>(p >> 16);
            row[static_cast<std::size_t>(x) * 4 + 1] = static_cast<png_byte>(p >> 8);
            row[static_cast<std::size_t>(x) * 4 + 2] = static_cast<png_byte>(p);
            row[static_cast<std::size_t>(x) * 4 + 3] = static_cast<png_byte>(p >> 24);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

std::string screenshotDir() {
    const char* dir = std::getenv("RIZA3V_SCREENSHOT_DIR");
    return dir != nullptr ? std::string(dir) : std::string();
}

} // namespace testing_png
