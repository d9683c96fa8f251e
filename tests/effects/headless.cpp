#include "tests/effects/headless.h"

#include "tests/support/png.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace effects::test {

device* headlessDevice(UINT width, UINT height) {
    static device* made = headless::makeFrameworkDevice(width, height);
    return made;
}

Picture readTarget(device& d, int target, const char* name) {
    Picture picture;
    EXPECT_EQ(headless::readPicture(d.targetSurface[target], picture), D3D_OK);
    if (const char* dir = std::getenv("RIZA3V_TEST_PNG_DIR")) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string path =
            std::string(dir) + "/" + info->test_suite_name() + "." + info->name() + "-" + name + ".png";
        // Opaque, for looking at: the blur's final pass leaves alpha 0x7F.
        std::vector<D3DCOLOR> opaque = picture.pixels;
        for (D3DCOLOR& c : opaque) {
            c |= 0xFF000000u;
        }
        EXPECT_TRUE(tests::support::writeArgbPng(path, picture.width, picture.height, opaque.data())) << path;
    }
    return picture;
}

bool deviceRequired() {
    for (const char* name : {"CI", "RIZA3V_REQUIRE_DEVICE"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0' && std::string(value) != "0") {
            return true;
        }
    }
    return false;
}

void useShaderFolder() {
    ASSERT_EQ(chdir(RIZA3V_BINARY_DIR), 0) << RIZA3V_BINARY_DIR;
}

} // namespace effects::test
