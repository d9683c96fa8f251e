// A headless device for rendering tests: virtual run mode (EGL surfaceless),
// a back buffer of the size asked, helpers to draw pre-transformed quads and
// to read pixels back. Set RIZA3V_TEST_PNG_DIR to a folder to keep every
// picture a test reads back as a PNG file there.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "tools/headless/headless.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace platform::d3d9::test {

using headless::blue;
using headless::green;
using headless::Picture;
using headless::red;

// Holds one reference to an object of the layer and releases it at the end
// of the scope. The device keeps no references to what is bound to it, so a
// test need not unbind an object before it goes.
template <class T> class Ref {
  public:
    Ref() = default;
    explicit Ref(T* object) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }

    // Releases what is held; the address to pass to a Create call.
    T** put() {
        reset();
        return &object_;
    }
    void reset() {
        if (object_ != nullptr) {
            object_->Release();
            object_ = nullptr;
        }
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    operator T*() const { return object_; }

  private:
    T* object_ = nullptr;
};

// A pixel of a picture and the colour expected there.
struct Probe {
    UINT x, y;
    D3DCOLOR colour;
};
// Expects every probe's colour at its pixel.
void expectPixels(const Picture& p, std::initializer_list<Probe> probes);

// Vertices of FVF D3DFVF_XYZ and D3DFVF_XYZ | D3DFVF_DIFFUSE.
struct XyzVertex {
    float x, y, z;
};
struct ColouredVertex {
    float x, y, z;
    D3DCOLOR colour;
};
// Pre-transformed vertex of FVF 0x144 and 0x244.
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
struct ScreenVertex2 {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u0, v0, u1, v1;
};

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Clears the target and the depth surface if one is bound, begins a scene and turns lighting, the depth
    // test and culling off, for drawing pre-transformed quads. With a texture,
    // stage 0 shows it alone.
    void begin(D3DCOLOR clear = 0xFF000000u, IDirect3DBaseTexture9* texture = nullptr);
    void end() { ASSERT_EQ(device->EndScene(), D3D_OK); }

    // Recreates the device with another back buffer size or depth format.
    void makeDevice(UINT width, UINT height, BOOL autoDepth = TRUE, D3DFORMAT depthFormat = D3DFMT_D24S8);

    // Reads a surface back; when RIZA3V_TEST_PNG_DIR is set also writes
    // <test name>-<name>.png there.
    Picture read(IDirect3DSurface9* surface, const char* name);
    Picture readBackBuffer(const char* name);

    // A quad from (x0, y0) to (x1, y1) in pixels, texture (0, 0)-(u1, v1), as
    // a fan with FVF 0x144; rhw 1.
    void drawQuad(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z = 0.0f, float u1 = 1.0f,
                  float v1 = 1.0f);
    // Sets the FVF and draws count primitives from vertices in user memory.
    template <class Vertex> void drawPrimitiveUp(DWORD fvf, D3DPRIMITIVETYPE type, UINT count, const Vertex* vertices) {
        ASSERT_EQ(device->SetFVF(fvf), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(type, count, vertices, sizeof(Vertex)), D3D_OK);
    }
    // A managed A8R8G8B8 texture with one level filled by the function.
    IDirect3DTexture9* makeTexture(UINT width, UINT height, D3DCOLOR (*pixel)(UINT x, UINT y),
                                   D3DFORMAT format = D3DFMT_A8R8G8B8, UINT levels = 1);

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS params{};
};

} // namespace platform::d3d9::test
