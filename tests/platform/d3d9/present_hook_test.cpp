#include "tests/platform/d3d9/harness.h"

#include "platform/d3d9/d3d9ext.h"

#include <array>
#include <cstdint>
#include <vector>

namespace platform::d3d9::test {
namespace {

struct Delivered {
    UINT width;
    UINT height;
    std::vector<std::uint8_t> rgba;
};

void collect(void* user, UINT width, UINT height, const std::uint8_t* rgba) {
    auto* frames = static_cast<std::vector<Delivered>*>(user);
    frames->push_back({width, height, std::vector<std::uint8_t>(rgba, rgba + std::size_t{width} * height * 4)});
}

using PresentHookTest = DeviceTest;

// Every presented frame reaches the hook once, in present order, with the
// top row first and bytes R, G, B, A, even those still in the ring at flush.
TEST_F(PresentHookTest, AllFramesArriveInOrderTopRowFirst) {
    std::vector<Delivered> frames;
    platform::d3d9::setPresentHook(collect, &frames);
    const int kFrames = 10;
    for (int i = 0; i < kFrames; ++i) {
        const D3DCOLOR background = D3DCOLOR_XRGB(10 * i, 200 - 10 * i, 7);
        begin(background);
        drawQuad(0, 0, 4, 2, D3DCOLOR_XRGB(255, 0, 255)); // the top-left corner
        end();
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    platform::d3d9::flushPresentHook();
    platform::d3d9::setPresentHook(nullptr, nullptr);
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        const Delivered& f = frames[static_cast<std::size_t>(i)];
        ASSERT_EQ((std::array{f.width, f.height}), (std::array{params.BackBufferWidth, params.BackBufferHeight}));
        // The bottom-right pixel; the back buffer has no alpha.
        EXPECT_EQ(std::vector<int>(f.rgba.end() - 4, f.rgba.end()), (std::vector<int>{10 * i, 200 - 10 * i, 7, 0xFF}))
            << "frame " << i;
        EXPECT_EQ(std::vector<int>(f.rgba.begin(), f.rgba.begin() + 3), (std::vector<int>{255, 0, 255}))
            << "frame " << i;
    }
}

} // namespace
} // namespace platform::d3d9::test
