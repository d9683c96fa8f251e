// Start-up on a device whose pixel shaders stop at version 1.1, below the 1.3
// the rim shaders' fallback needs: the layer reports that version to the
// capability check, the first program texture turns grey and the other three
// keep their colours.
#include "tests/app/scenes/showfixture.h"

#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "platform/d3d9/d3d9ext.h"
#include "resources/texprograms/texprograms.h"
#include "texgen/program.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Before the one device of the process is made.
const bool kWeak = (platform::d3d9::limitShaderVersions(D3DVS_VERSION(2, 0), D3DPS_VERSION(1, 1)), true);

std::vector<std::uint32_t> programPixels(int number) {
    std::vector<std::uint32_t> pixels(std::size_t{256} * 256);
    texgen::runTextureProgram(resources::textureProgram(number), pixels.data(), 1024);
    return pixels;
}

TEST(WeakHardware, OnlyTheFirstProgramTextureTurnsGrey) {
    ASSERT_TRUE(kWeak);
    SHOW_OR_SKIP();
    ASSERT_EQ(show->dev->caps.PixelShaderVersion, D3DPS_VERSION(1, 1));

    // Grey is a third of each colour byte, summed and truncated: within one
    // of (red + green + blue) / 3 whichever way the thirds round; alpha 0.
    const std::vector<std::uint32_t> coloured = programPixels(1);
    const std::vector<std::uint32_t>& grey = show->program(1).pixels;
    ASSERT_EQ(grey.size(), coloured.size());
    int colourful = 0;
    for (std::size_t i = 0; i < grey.size(); ++i) {
        const std::uint32_t c = coloured[i];
        const int r = static_cast<int>((c >> 16) & 0xFF);
        const int g = static_cast<int>((c >> 8) & 0xFF);
        const int b = static_cast<int>(c & 0xFF);
        colourful += r != g || g != b ? 1 : 0;
        const std::uint32_t level = grey[i] & 0xFF;
        ASSERT_EQ(grey[i], level << 16 | level << 8 | level) << "pixel " << i;
        ASSERT_LE(std::abs(static_cast<int>(level) * 3 - (r + g + b)), 3) << "pixel " << i;
    }
    EXPECT_GT(colourful, static_cast<int>(grey.size() / 2)) << "program 1 made no colours to lose";

    for (int p = 2; p <= 4; ++p) {
        EXPECT_EQ(show->program(p).pixels, programPixels(p)) << "P" << p;
    }
}

} // namespace
