#include "tests/d3d9/harness.h"

#include "platform/runmode.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>

namespace d3d9test {

bool writePng(const Picture& picture, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
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
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(picture.width) * 4);
    for (UINT y = 0; y < picture.height; ++y) {
        for (UINT x = 0; x < picture.width; ++x) {
            D3DCOLOR c = picture.at(x, y);
            row[4 * x] = static_cast<png_byte>(red(c));
            row[4 * x + 1] = static_cast<png_byte>(green(c));
            row[4 * x + 2] = static_cast<png_byte>(blue(c));
            row[4 * x + 3] = static_cast<png_byte>(alpha(c));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

void DeviceTest::SetUp() {
    platform::setRunMode(platform::RunMode::virtualRun);
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    makeDevice(64, 64);
}

void DeviceTest::TearDown() {
    if (device != nullptr) {
        EXPECT_EQ(device->Release(), 0u);
    }
    if (d3d != nullptr) {
        d3d->Release();
    }
}

void DeviceTest::makeDevice(UINT width, UINT height, BOOL autoDepth, D3DFORMAT depthFormat) {
    if (device != nullptr) {
        device->Release();
        device = nullptr;
    }
    params = D3DPRESENT_PARAMETERS{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = autoDepth;
    params.AutoDepthStencilFormat = depthFormat;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device),
              D3D_OK);
}

Picture DeviceTest::read(IDirect3DSurface9* surface, const char* name) {
    Picture p;
    EXPECT_EQ(platform::d3d9::readBack(surface, p.width, p.height, p.pixels), D3D_OK);
    if (const char* dir = std::getenv("RIZA3V_TEST_PNG_DIR")) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string path = std::string(dir) + "/" + info->test_suite_name() + "." + info->name() + "-" + name + ".png";
        EXPECT_TRUE(writePng(p, path)) << path;
    }
    return p;
}

Picture DeviceTest::readBackBuffer(const char* name) {
    IDirect3DSurface9* back = nullptr;
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    Picture p = read(back, name);
    back->Release();
    return p;
}

void DeviceTest::drawQuad(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z) {
    ScreenVertex v[4] = {{x0, y0, z, 1.0f, colour, 0.0f, 0.0f},
                         {x1, y0, z, 1.0f, colour, 1.0f, 0.0f},
                         {x1, y1, z, 1.0f, colour, 1.0f, 1.0f},
                         {x0, y1, z, 1.0f, colour, 0.0f, 1.0f}};
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(ScreenVertex)), D3D_OK);
}

IDirect3DTexture9* DeviceTest::makeTexture(UINT width, UINT height, D3DCOLOR (*pixel)(UINT x, UINT y),
                                           D3DFORMAT format, UINT levels) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    if (texture == nullptr) {
        return nullptr;
    }
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch);
        for (UINT x = 0; x < width; ++x) {
            row[x] = pixel(x, y);
        }
    }
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    return texture;
}

} // namespace d3d9test
