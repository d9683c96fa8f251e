// Textures against a mock device: level counts, the per-channel halving and
// the rows written through the lock's pitch.
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "errors/errors.h"
#include "tests/dx/fakedevice.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

class TextureTest : public ::testing::Test {
  protected:
    TextureTest() {
        d.d3dDevice = &mock;
        d.presentParameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    }
    std::unique_ptr<texture> make(const std::vector<std::uint32_t>& pixels, int w, int h, int levels) {
        return std::make_unique<texture>(&d, pixels.data(), w, h, levels, 0);
    }
    NiceMock<dx::test::Device> mock;
    device d;
};

// Per byte channel: average of a and b, each halved with truncation first.
std::uint32_t channelAverage(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01, std::uint32_t p11) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        auto c = [shift](std::uint32_t p) { return (p >> shift) & 0xFFu; };
        const std::uint32_t lower = (c(p11) / 2 + c(p01) / 2) / 2;
        const std::uint32_t upper = (c(p10) / 2 + c(p00) / 2) / 2;
        out |= (lower + upper) << shift;
    }
    return out;
}

TEST_F(TextureTest, MinusOneMeansEightLevelsDownToTwoByTwo) {
    EXPECT_CALL(mock, CreateTexture(256, 256, 8, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, _, _));
    auto t = make(std::vector<std::uint32_t>(256 * 256, 0xFF336699u), 256, 256, -1);
    dx::test::Texture& made = *mock.textures[0];
    ASSERT_EQ(made.GetLevelCount(), 8u);
    EXPECT_EQ(std::tuple(made.levels[7].width, made.locks, made.unlocks, t->levels), std::tuple(2u, 8, 8, -1));
}

TEST_F(TextureTest, WhiteAndNearBlackHalveWithTruncation) {
    auto white = make(std::vector<std::uint32_t>(16, 0xFFFFFFFFu), 4, 4, 3);
    auto faint = make(std::vector<std::uint32_t>(16, 0x01010101u), 4, 4, 3);
    const dx::test::Texture& w = *mock.textures[0];
    const dx::test::Texture& f = *mock.textures[1];
    for (UINT y = 0; y < 2; ++y) {
        for (UINT x = 0; x < 2; ++x) {
            EXPECT_EQ(std::pair(w.word(1, x, y), f.word(1, x, y)), std::pair(0xFEFEFEFEu, 0x00000000u));
        }
    }
    // 254 is even, so the next halving loses nothing more.
    EXPECT_EQ(w.word(2, 0, 0), 0xFEFEFEFEu);
}

TEST_F(TextureTest, NonSquareImageHalvesAlongBothAxes) {
    const int w = 256, h = 64;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            pixels[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint32_t>((x * 7 + y * 13) & 0xFF) << 16 |
                                                          static_cast<std::uint32_t>(x & 0xFF) << 8 |
                                                          static_cast<std::uint32_t>((y * 4) & 0xFF) | 0x80000000u;
        }
    }
    mock.texturePadding = 24;
    auto t = make(pixels, w, h, 3);
    const dx::test::Texture& made = *mock.textures[0];
    std::vector<std::uint32_t> expected1(static_cast<std::size_t>(128 * 32));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 128; ++x) {
            auto at = [&](int px, int py) { return pixels[static_cast<std::size_t>(py * w + px)]; };
            expected1[static_cast<std::size_t>(y * 128 + x)] =
                channelAverage(at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1), at(2 * x + 1, 2 * y + 1));
            ASSERT_EQ(made.word(1, static_cast<UINT>(x), static_cast<UINT>(y)),
                      expected1[static_cast<std::size_t>(y * 128 + x)])
                << x << "," << y;
        }
    }
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 64; ++x) {
            auto at = [&](int px, int py) { return expected1[static_cast<std::size_t>(py * 128 + px)]; };
            ASSERT_EQ(
                made.word(2, static_cast<UINT>(x), static_cast<UINT>(y)),
                channelAverage(at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1), at(2 * x + 1, 2 * y + 1)))
                << x << "," << y;
        }
    }
    // The padding bytes after each row are left as the lock gave them.
    EXPECT_EQ(std::tuple(made.levels[0].bytes[256 * 4], made.word(0, 255, 63)), std::tuple(0xCD, pixels.back()));
}

TEST_F(TextureTest, LevelsAreBoundedByWhatHalvingCanMake) {
    EXPECT_CALL(mock, CreateTexture(256, 64, 7, _, _, _, _, _));
    EXPECT_CALL(mock, CreateTexture(1024, 512, 10, _, _, _, _, _));
    EXPECT_CALL(mock, CreateTexture(1024, 128, 8, _, _, _, _, _));
    make(std::vector<std::uint32_t>(256 * 64), 256, 64, -1);
    make(std::vector<std::uint32_t>(1024 * 512), 1024, 512, 0);
    make(std::vector<std::uint32_t>(1024 * 128), 1024, 128, 0);
    EXPECT_EQ(std::pair(dx::halvableLevelCount(1, 1), dx::halvableLevelCount(3, 1000)), std::pair(1, 2));
}

TEST_F(TextureTest, FailuresRaiseAndTheDestructorLogs) {
    EXPECT_CALL(mock, CreateTexture(_, _, _, _, _, _, _, _))
        .WillOnce(Return(D3DERR_OUTOFVIDEOMEMORY))
        .WillRepeatedly(::testing::DoDefault());
    EXPECT_THROW(make(std::vector<std::uint32_t>(4), 2, 2, 1), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxtexture\nLine: 105\nMessage: auto throw(d3d)\n");

    auto t = make(std::vector<std::uint32_t>(4, 7u), 2, 2, 1);
    ::testing::internal::CaptureStderr();
    t.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "entering ~texture..\nleaving ~texture..\n");
}

TEST_F(TextureTest, RefillAfterTheOwnerChangesThePixels) {
    auto t = make(std::vector<std::uint32_t>(4, 0u), 2, 2, 1);
    t->pixels[3] = 0x12345678u;
    t->fill();
    EXPECT_EQ(mock.textures[0]->word(0, 1, 1), 0x12345678u);
}

} // namespace
