#include "tests/support/png.h"

#include "tools/pngfile/pngfile.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>

namespace tests::support {

std::uint32_t PngPicture::at(int x, int y) const {
    const std::size_t first =
        (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * static_cast<std::size_t>(channels);
    std::uint32_t value = 0;
    for (int c = 0; c < channels; ++c) {
        value = value << 8 | bytes[first + static_cast<std::size_t>(c)];
    }
    return value;
}

PngPicture readPng(const std::string& path, int channels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    PngPicture picture;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return picture;
    }
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<std::uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr) == 0) {
        return picture;
    }
    picture = {image.width, image.height, channels, std::move(bytes)};
    return picture;
}

void keepPicture(const std::string& name, std::uint32_t width, std::uint32_t height, const std::uint32_t* pixels,
                 bool opaque) {
    const char* dir = std::getenv("RIZA3V_TEST_PNG_DIR");
    if (dir == nullptr) {
        return;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path =
        std::string(dir) + "/" + info->test_suite_name() + "." + info->name() + "-" + name + ".png";
    std::vector<std::uint32_t> shown(pixels, pixels + static_cast<std::size_t>(width) * height);
    for (std::uint32_t& c : shown) {
        c |= opaque ? 0xFF000000u : 0u;
    }
    EXPECT_TRUE(pngfile::writeArgbPng(path, width, height, shown.data())) << path;
}

} // namespace tests::support
