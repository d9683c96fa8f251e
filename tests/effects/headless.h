// A `device` over the Direct3D 9 layer on a headless EGL context (virtual run
// mode), for the effects' rendering tests and benchmarks, and read-back of
// its targets. The layer makes one device per process: ask once.
#pragma once

#include "dx/dxdevice.h"
#include "platform/d3d9/d3d9.h"
#include "tools/headless/headless.h"

#include <gtest/gtest.h>

namespace effects::test {

// The device with a back buffer of width x height (X8R8G8B8, D24S8 depth) as
// target 0; null when no headless device can be made. Made on the first call;
// later calls return the same device whatever they ask.
device* headlessDevice(UINT width, UINT height);

using headless::blue;
using headless::green;
using headless::Picture;
using headless::red;

// Reads render target `target` of d back; when RIZA3V_TEST_PNG_DIR is set it
// also writes <test>-<name>.png there, with alpha made opaque.
Picture readTarget(device& d, int target, const char* name);

// True where a missing headless device is a failure rather than a skip: when
// CI or RIZA3V_REQUIRE_DEVICE is set to anything but "" or "0" (the test
// script sets the latter).
bool deviceRequired();

// Makes the layer's working directory the build folder, where the show's
// shader files are copied, so that "shaders/..." opens them.
void useShaderFolder();

// A side x side managed texture of `format` with texel (x, y) = colour(x, y);
// null when it cannot be made.
template <typename Colour>
IDirect3DTexture9* textureOf(device& dev, int side, Colour colour, D3DFORMAT format = D3DFMT_X8R8G8B8) {
    IDirect3DTexture9* texture = nullptr;
    const UINT n = static_cast<UINT>(side);
    if (dev.d3dDevice->CreateTexture(n, n, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK) {
        return nullptr;
    }
    D3DLOCKED_RECT locked{};
    if (texture->LockRect(0, &locked, nullptr, 0) != D3D_OK) {
        texture->Release();
        return nullptr;
    }
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<D3DCOLOR*>(static_cast<char*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < side; ++x) {
            row[x] = colour(x, y);
        }
    }
    texture->UnlockRect(0);
    return texture;
}

// Tests that draw on the 320 x 240 device with the show's shader files.
class SceneTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        useShaderFolder();
        d = headlessDevice(320, 240);
    }
    void SetUp() override { ASSERT_NE(d, nullptr) << "no headless device"; }

    static inline device* d = nullptr;
};

} // namespace effects::test
