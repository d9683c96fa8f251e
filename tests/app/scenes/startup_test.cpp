// What start-up leaves for the frame loop and the scenes.
#include "tests/app/scenes/showfixture.h"

#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "effects/particlefield.h"
#include "resources/pictures/pictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

namespace {

TEST(Startup, GreyIsTheSumOfThirdsOfTheThreeBytesWithAlphaCleared) {
    // Multiplying by the float nearest 1/3 and dividing by 3 disagree on
    // these (1 + 1 + 7 gives 3 one way and 2 the other).
    std::vector<std::uint32_t> pixels = {0x12010107u, 0xFF0A0A0Au, 0xFFFFFFFFu, 0x80000000u, 0xFF010119u};
    app::turnGrey(pixels.data(), pixels.size());
    EXPECT_EQ(pixels, (std::vector<std::uint32_t>{0x00030303u, 0x000A0A0Au, 0x00FFFFFFu, 0x00000000u, 0x00090909u}));
}

TEST(Startup, TargetsTexturesAndClothAreMadeAsTheScenesUseThem) {
    SHOW_OR_SKIP();
    device& d = *show->dev;
    for (int t = 1; t <= 6; ++t) {
        const dx::TargetSize size = d.targetSize[show->target(t)];
        const std::pair<float, float> screen(app::scenes::test::kWidth, app::scenes::test::kHeight);
        EXPECT_EQ(std::pair(size.width, size.height), t <= 3 ? screen : std::pair(512.0f, 256.0f)) << "T" << t;
        EXPECT_NE(show->target(t), 0) << "T" << t;
    }
    for (int p = 1; p <= 4; ++p) {
        const texture& program = show->program(p);
        EXPECT_EQ(std::tuple(program.width, program.height, program.d3dTexture->GetLevelCount()),
                  std::tuple(256, 256, 8u))
            << "P" << p;
    }
    EXPECT_EQ(std::pair(show->logo->width, show->logo->height),
              std::pair(resources::kLogoWidth, resources::kLogoHeight));

    // The captions follow the list's order of stored strips, not the stored order.
    const std::vector<std::uint8_t> strips = resources::stripPictures();
    const std::size_t stripBytes = std::size_t{resources::kStripWidth} * resources::kStripHeight * 3;
    for (std::size_t i = 0; i < show->captions.size(); ++i) {
        const std::size_t strip = static_cast<std::size_t>(resources::kCaptionStrips[i]);
        const std::vector<std::uint32_t> expected =
            resources::toPixels32(strips.data() + stripBytes * strip, resources::kStripWidth, resources::kStripHeight);
        ASSERT_NE(show->captions[i], nullptr);
        EXPECT_EQ(show->captions[i]->pixels, expected) << "caption " << i << " is not strip " << strip;
    }

    const particleField& cloth = *show->cloth;
    EXPECT_EQ((std::array{cloth.particles.count, cloth.springs.count, cloth.faces.count}),
              (std::array{676u, 1925u, 1250u}));
    EXPECT_EQ(std::pair(cloth.wind.x, cloth.wind.z), std::pair(0.0f, 600.0f));
    EXPECT_NE(show->sphere, nullptr);
    EXPECT_EQ(show->part, 4);
}

} // namespace
