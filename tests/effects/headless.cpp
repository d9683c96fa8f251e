#include "tests/effects/headless.h"

#include "tests/support/paths.h"
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
    // Opaque, for looking at: the blur's final pass leaves alpha 0x7F.
    tests::support::keepPicture(name, picture.width, picture.height, picture.pixels.data(), true);
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
    const std::string folder = tests::support::buildPath("");
    ASSERT_EQ(chdir(folder.c_str()), 0) << folder;
}

} // namespace effects::test
