// The smudge against values worked out by a separate program from the
// published generator (state × 214013 + 2531011, bits 16 to 30) seeded with 1.
#include "text/fontatlas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<std::uint32_t> testImage() {
    std::vector<std::uint32_t> image(512 * 512, 0);
    auto at = [&](int x, int y) -> std::uint32_t& { return image[static_cast<std::size_t>(y * 512 + x)]; };
    at(1, 0) = 5;
    at(1, 2) = 7;
    at(2, 1) = 100;
    at(0, 1) = 1000;
    at(300, 200) = 0x00FFFFFFu;
    return image;
}

TEST(Smudge, FollowsThePublishedGeneratorSeededWithOne) {
    std::vector<std::uint32_t> image = testImage();
    text::smudge(image.data());
    // The first draws after seeding with 1 are 41, 18467, 6334, 26500, 19169:
    // above and below are added to (1, 1), right and left are not, and x steps by 2.
    EXPECT_EQ(image[512 + 1], 12u);
    EXPECT_EQ(image[512 + 2], 100u);
    // A step of 0 visits (300, 200) twice: the pixel is added to itself and its
    // blue channel carries into green.
    EXPECT_EQ(image[200 * 512 + 300], 0x01FFFFFEu);
    EXPECT_EQ(std::count_if(image.begin(), image.end(), [](std::uint32_t v) { return v != 0; }), 13);
}

TEST(Smudge, SameSeedSameResultAndBlackStaysBlack) {
    std::vector<std::uint32_t> a = testImage();
    std::vector<std::uint32_t> b = testImage();
    text::smudge(a.data());
    text::smudge(b.data());
    EXPECT_EQ(a, b);
    std::vector<std::uint32_t> black(512 * 512, 0);
    text::smudge(black.data());
    EXPECT_TRUE(std::all_of(black.begin(), black.end(), [](std::uint32_t v) { return v == 0; }));
}

} // namespace
