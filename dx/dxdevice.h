// The one wrapper of the Direct3D device: render targets (index 0 is the back
// buffer), copies of the transforms, the adapter's caps, one-call render-state
// settings, screen-space quads and the shader objects.
//
// Made by createDevice (dxbase.h) and never destroyed; every call comes from
// the main thread. Calls marked as raising throw qtv_d3d::exception with
// "auto throw(d3d)" and source "dxdevice"; other device results are ignored.
#pragma once

#include "dx/dxmath.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>

class texture;

namespace dx {

// Room for render targets; asking for one more raises "auto throw(logic)".
inline constexpr int kMaxRenderTargets = 100;

struct TargetSize {
    float width;
    float height;
};

// Four floats (alpha, red, green, blue), each 0..1, as the framework takes colours.
struct ColorArgb {
    float a;
    float r;
    float g;
    float b;
};

} // namespace dx

// Each component × 255 truncated and masked to 8 bits, as 0xAARRGGBB.
D3DCOLOR packColor(const dx::ColorArgb& color);
// The same four floats in the platform's (red, green, blue, alpha) order.
D3DCOLORVALUE toColorValue(const dx::ColorArgb& color);

class device {
  public:
    // Every field zero, the matrices included.
    device();

    IDirect3DTexture9* targetTexture[dx::kMaxRenderTargets];
    IDirect3DSurface9* targetSurface[dx::kMaxRenderTargets];
    IDirect3DSurface9* depthSurface[dx::kMaxRenderTargets];
    dx::TargetSize targetSize[dx::kMaxRenderTargets];
    Matrix projection;
    Matrix view;
    Matrix world;
    Matrix worldViewProjectionMatrix;
    std::int32_t targetCount;
    IDirect3DDevice9* d3dDevice;
    D3DPRESENT_PARAMETERS presentParameters;
    D3DCAPS9 caps;
    HWND window;

    UINT backBufferWidth() const;

    // Draws into target index from here on; clears when clearFlags (D3DCLEAR_*) is nonzero.
    void beginTarget(int index, D3DCOLOR color, DWORD clearFlags);
    HRESULT endScene();
    // Puts target 0 and its depth surface back and presents; sleeps 10 ms when windowed.
    void present();

    void setZWrite(bool on);
    // On also selects the "less" comparison and depth writes.
    void setDepthTest(bool on);
    void cullCounterClockwise();
    void cullClockwise();
    void cullNone();
    void setLighting(bool on);
    void enableLight0();
    void setWireframe(bool on);
    void setAlphaBlend(bool on);
    void blendScreen();
    void blendMultiply();
    void blendAdd();

    void setWorld(const Matrix& m);
    void setView(const Matrix& m);
    void setProjection(const Matrix& m);
    // world × view × projection of the copies kept here; also kept in worldViewProjectionMatrix.
    const Matrix& worldViewProjection();
    void setTextureTransform(DWORD stage, const Matrix& m);

    void setTexture(DWORD stage, const texture& t);
    void setRawTexture(DWORD stage, IDirect3DBaseTexture9* baseTexture);
    // Wrap addressing, linear filters, texture × diffuse colour, identity texture transform.
    void resetStage(DWORD stage);
    // resetStage on every stage the adapter has, then stage 0 only textured.
    void resetStages();
    // The default material and no shaders.
    void useFixedFunction();

    // A texture target with its own or a shared depth surface; returns its index.
    // Format X8R8G8B8 means the back buffer's format; `levels` is not used.
    int createRenderTarget(int width, int height, int levels, D3DFORMAT format, int depthShare);

    // A pre-transformed rectangle in pixels with texture coordinates, drawn
    // without depth test, culling or lighting (left with depth test and
    // counter-clockwise culling on).
    void drawScreenQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                        const dx::ColorArgb& colour);
    // A (0, 0)-(width, height) rectangle: stage 0 shows a whole texture, stage 1
    // a window shrunk by the four margins and turned by angle about the centre.
    void drawZoomQuad(D3DCOLOR colour, float left, float right, float top, float bottom, float angle, float centreU,
                      float centreV, float width, float height);

    // Compile the HLSL file's entry for the profile and make the shader;
    // raises "auto throw(d3d)" when the compiler fails. The compiled code is
    // released once the shader is made. Null when the device refuses the code.
    IDirect3DVertexShader9* compileVertexShader(const char* fileName, const char* entry, const char* profile);
    IDirect3DPixelShader9* compilePixelShader(const char* fileName, const char* entry, const char* profile);
    // Null when the adapter's shader version is below vs_1_1 / ps_1_3 or the device refuses the code.
    IDirect3DVertexShader9* createVertexShaderFromCode(const DWORD* code);
    IDirect3DPixelShader9* createPixelShaderFromCode(const DWORD* code);
};

namespace dx {

// A shader constant register: four floats.
struct Vector4 {
    float x;
    float y;
    float z;
    float w;
};

} // namespace dx

// Uploads world × view × projection (c0), world (c4), the world matrix without
// its translation (c8), the camera position (c12) and the colour (c13), and
// the ambient colour (pixel c0), for the rim shaders.
void setShaderConstants(device& d, dx::Vector4 cameraPosition, const float* color, const Matrix* world);
