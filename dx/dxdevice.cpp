#include "dx/dxdevice.h"

#include "debuglog/log.h"
#include "dx/dxbase.h"
#include "dx/dxtexture.h"
#include "errors/errors.h"
#include "platform/d3dx/d3dx9.h"
#include "platform/kernel/kernel.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr const char* kFile = "dxdevice";

// Where a render target past the last slot is refused (the arrays end there).
constexpr int kTooManyTargetsLine = 95;

D3DMATRIX toD3d(const Matrix& m) {
    return std::bit_cast<D3DMATRIX>(m);
}

DWORD byteOf(float component) {
    return static_cast<DWORD>(static_cast<std::int32_t>(component * 255.0f)) & 0xFF;
}

// Pre-transformed vertex with one colour and one texture coordinate pair (FVF 0x144).
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

// Pre-transformed vertex with two texture coordinate pairs (FVF 0x244).
struct ZoomVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u0, v0, u1, v1;
};
static_assert(sizeof(ZoomVertex) == 36);

constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kZoomFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;

} // namespace

D3DCOLOR packColor(const dx::ColorArgb& color) {
    return byteOf(color.a) << 24 | byteOf(color.r) << 16 | byteOf(color.g) << 8 | byteOf(color.b);
}

D3DCOLORVALUE toColorValue(const dx::ColorArgb& color) {
    return D3DCOLORVALUE{color.r, color.g, color.b, color.a};
}

device::device() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
}

UINT device::backBufferWidth() const {
    return presentParameters.BackBufferWidth;
}

void device::beginTarget(int index, D3DCOLOR color, DWORD clearFlags) {
    errors::checkD3d(d3dDevice->SetRenderTarget(0, targetSurface[index]), kFile, 117);
    errors::checkD3d(d3dDevice->SetDepthStencilSurface(depthSurface[index]), kFile, 118);
    d3dDevice->BeginScene();
    if (clearFlags != 0) {
        d3dDevice->Clear(0, nullptr, clearFlags, color, 1.0f, 0);
    }
}

HRESULT device::endScene() {
    return d3dDevice->EndScene();
}

void device::present() {
    errors::checkD3d(d3dDevice->SetRenderTarget(0, targetSurface[0]), kFile, 132);
    errors::checkD3d(d3dDevice->SetDepthStencilSurface(depthSurface[0]), kFile, 133);
    d3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
    if (presentParameters.Windowed != 0) {
        Sleep(10);
    }
}

void device::setZWrite(bool on) {
    d3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, on ? TRUE : FALSE);
}

void device::setDepthTest(bool on) {
    d3dDevice->SetRenderState(D3DRS_ZENABLE, on ? TRUE : FALSE);
    if (on) {
        d3dDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        d3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    }
}

void device::cullCounterClockwise() {
    d3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}
void device::cullClockwise() {
    d3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
}
void device::cullNone() {
    d3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}
void device::setLighting(bool on) {
    d3dDevice->SetRenderState(D3DRS_LIGHTING, on ? TRUE : FALSE);
}

void device::enableLight0() {
    d3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    d3dDevice->LightEnable(0, TRUE);
}

void device::setWireframe(bool on) {
    d3dDevice->SetRenderState(D3DRS_FILLMODE, on ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
}

void device::setAlphaBlend(bool on) {
    d3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, on ? TRUE : FALSE);
}

void device::blendScreen() {
    d3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
    d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR);
}

void device::blendMultiply() {
    d3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
}

void device::blendAdd() {
    d3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
}

void device::setWorld(const Matrix& m) {
    const D3DMATRIX d = toD3d(m);
    d3dDevice->SetTransform(D3DTS_WORLD, &d);
    world = m;
}

void device::setView(const Matrix& m) {
    const D3DMATRIX d = toD3d(m);
    d3dDevice->SetTransform(D3DTS_VIEW, &d);
    view = m;
}

void device::setProjection(const Matrix& m) {
    const D3DMATRIX d = toD3d(m);
    d3dDevice->SetTransform(D3DTS_PROJECTION, &d);
    projection = m;
}

const Matrix& device::worldViewProjection() {
    Matrix worldView;
    multiply(world, worldView, view);
    multiply(worldView, worldViewProjectionMatrix, projection);
    return worldViewProjectionMatrix;
}

void device::setTextureTransform(DWORD stage, const Matrix& m) {
    const D3DMATRIX d = toD3d(m);
    d3dDevice->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage), &d);
}

void device::setTexture(DWORD stage, const texture& t) {
    d3dDevice->SetTexture(stage, t.d3dTexture);
}

void device::setRawTexture(DWORD stage, IDirect3DBaseTexture9* baseTexture) {
    d3dDevice->SetTexture(stage, baseTexture);
}

void device::resetStage(DWORD stage) {
    for (D3DSAMPLERSTATETYPE address : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW}) {
        d3dDevice->SetSamplerState(stage, address, D3DTADDRESS_WRAP);
    }
    for (D3DSAMPLERSTATETYPE filter : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER}) {
        d3dDevice->SetSamplerState(stage, filter, D3DTEXF_LINEAR);
    }
    d3dDevice->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d3dDevice->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d3dDevice->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Matrix unit;
    identity(unit);
    setTextureTransform(stage, unit);
}

void device::resetStages() {
    for (DWORD s = 0; s < caps.MaxSimultaneousTextures; ++s) {
        resetStage(s);
    }
    d3dDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d3dDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d3dDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    for (DWORD s : {1u, 2u}) {
        d3dDevice->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d3dDevice->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
}

void device::useFixedFunction() {
    D3DMATERIAL9 material{};
    material.Diffuse = toColorValue({1.0f, 1.0f, 1.0f, 1.0f});
    material.Ambient = toColorValue({0.1f, 0.1f, 0.1f, 0.1f});
    material.Specular = toColorValue({1.0f, 1.0f, 1.0f, 1.0f});
    material.Emissive = toColorValue({0.0f, 0.0f, 0.0f, 0.0f});
    material.Power = 10.0f;
    d3dDevice->SetMaterial(&material);
    d3dDevice->SetPixelShader(nullptr);
    d3dDevice->SetVertexShader(nullptr);
}

int device::createRenderTarget(int width, int height, int, D3DFORMAT format, int depthShare) {
    logFormatName(format, "Format som används");
    // The target arrays end at kMaxRenderTargets; one more would write past them.
    if (targetCount >= dx::kMaxRenderTargets) {
        errors::raiseError(errors::kAutoThrowLogic, kFile, kTooManyTargetsLine);
    }
    if (format == D3DFMT_X8R8G8B8) {
        format = presentParameters.BackBufferFormat;
    }
    const int index = targetCount;
    errors::checkD3d(d3dDevice->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1,
                                              D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &targetTexture[index],
                                              nullptr),
                     kFile, 96);
    errors::checkD3d(targetTexture[index]->GetSurfaceLevel(0, &targetSurface[index]), kFile, 97);
    if (depthShare == -1 || width > static_cast<int>(presentParameters.BackBufferWidth) ||
        height > static_cast<int>(presentParameters.BackBufferHeight)) {
        errors::checkD3d(d3dDevice->CreateDepthStencilSurface(static_cast<UINT>(width), static_cast<UINT>(height),
                                                              presentParameters.AutoDepthStencilFormat,
                                                              D3DMULTISAMPLE_NONE, 0, FALSE, &depthSurface[index],
                                                              nullptr),
                         kFile, 102);
    } else {
        depthSurface[index] = depthSurface[depthShare];
    }
    logPrintf("target %d har xres = %d och yres = %d!\n", index, width, height);
    targetSize[index] = dx::TargetSize{static_cast<float>(width), static_cast<float>(height)};
    ++targetCount;
    return index;
}

void device::drawScreenQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                            const dx::ColorArgb& colour) {
    const D3DCOLOR c = packColor(colour);
    const ScreenVertex quad[4] = {
        {x0, y0, 1.0f, 1.0f, c, u0, v0},
        {x1, y0, 1.0f, 1.0f, c, u1, v0},
        {x1, y1, 1.0f, 1.0f, c, u1, v1},
        {x0, y1, 1.0f, 1.0f, c, u0, v1},
    };
    setDepthTest(false);
    cullNone();
    setLighting(false);
    d3dDevice->SetFVF(kScreenFvf);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(ScreenVertex));
    setDepthTest(true);
    cullCounterClockwise();
}

void device::drawZoomQuad(D3DCOLOR colour, float left, float right, float top, float bottom, float angle, float centreU,
                          float centreV, float width, float height) {
    // A margin of 0.0035 keeps the shrunken window off the source's edge texels.
    const float l = 1.0f - 1.0f / (left + 1.0f) + 0.0035f;
    const float r = 1.0f / (right + 1.0f) - 0.0035f;
    const float t = 1.0f - 1.0f / (top + 1.0f) + 0.0035f;
    const float b = 1.0f / (bottom + 1.0f) - 0.0035f;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    auto turn = [&](float u, float v, float& outU, float& outV) {
        const float du = u - centreU;
        const float dv = v - centreV;
        outU = du * c - dv * s + centreU;
        outV = du * s + dv * c + centreV;
    };
    ZoomVertex quad[4] = {
        {0.0f, 0.0f, 0.0f, 1.0f, colour, 0.0f, 0.0f, 0.0f, 0.0f},
        {width, 0.0f, 0.0f, 1.0f, colour, 1.0f, 0.0f, 0.0f, 0.0f},
        {width, height, 0.0f, 1.0f, colour, 1.0f, 1.0f, 0.0f, 0.0f},
        {0.0f, height, 0.0f, 1.0f, colour, 0.0f, 1.0f, 0.0f, 0.0f},
    };
    turn(l, t, quad[0].u1, quad[0].v1);
    turn(r, t, quad[1].u1, quad[1].v1);
    turn(r, b, quad[2].u1, quad[2].v1);
    turn(l, b, quad[3].u1, quad[3].v1);
    d3dDevice->SetFVF(kZoomFvf);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(ZoomVertex));
}

namespace {

// The compiled code; the caller releases it once the shader is made (the
// device keeps a copy of the code it is given).
LPD3DXBUFFER compileFile(const char* fileName, const char* entry, const char* profile, int line) {
    LPD3DXBUFFER code = nullptr;
    errors::checkD3d(D3DXCompileShaderFromFileA(fileName, nullptr, nullptr, entry, profile, 0, &code, nullptr, nullptr),
                     kFile, line);
    return code;
}

} // namespace

IDirect3DVertexShader9* device::compileVertexShader(const char* fileName, const char* entry, const char* profile) {
    LPD3DXBUFFER code = compileFile(fileName, entry, profile, 442);
    IDirect3DVertexShader9* shader = nullptr;
    d3dDevice->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader);
    code->Release();
    return shader;
}

IDirect3DPixelShader9* device::compilePixelShader(const char* fileName, const char* entry, const char* profile) {
    LPD3DXBUFFER code = compileFile(fileName, entry, profile, 456);
    IDirect3DPixelShader9* shader = nullptr;
    d3dDevice->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader);
    code->Release();
    return shader;
}

IDirect3DVertexShader9* device::createVertexShaderFromCode(const DWORD* code) {
    if (caps.VertexShaderVersion < D3DVS_VERSION(1, 1)) {
        return nullptr;
    }
    IDirect3DVertexShader9* shader = nullptr;
    // A refused program leaves the slot null, so the pool draws with the fixed-function pipeline.
    d3dDevice->CreateVertexShader(code, &shader);
    return shader;
}

IDirect3DPixelShader9* device::createPixelShaderFromCode(const DWORD* code) {
    if (caps.PixelShaderVersion < D3DPS_VERSION(1, 3)) {
        return nullptr;
    }
    IDirect3DPixelShader9* shader = nullptr;
    d3dDevice->CreatePixelShader(code, &shader);
    return shader;
}

void setShaderConstants(device& d, dx::Vector4 cameraPosition, const float* color, const Matrix* world) {
    d.setWorld(*world);
    const Matrix& m = d.worldViewProjection();
    d.d3dDevice->SetVertexShaderConstantF(0, &m.m[0][0], 4);
    d.d3dDevice->SetVertexShaderConstantF(4, &world->m[0][0], 4);
    Matrix normalWorld = *world;
    normalWorld.m[3][0] = 0.0f;
    normalWorld.m[3][1] = 0.0f;
    normalWorld.m[3][2] = 0.0f;
    d.d3dDevice->SetVertexShaderConstantF(8, &normalWorld.m[0][0], 4);
    const float camera[4] = {cameraPosition.x, cameraPosition.y, cameraPosition.z, cameraPosition.w};
    d.d3dDevice->SetVertexShaderConstantF(12, camera, 1);
    d.d3dDevice->SetVertexShaderConstantF(13, color, 1);
    const float ambient[4] = {0.0f, 0.1f, 0.1f, 1.0f};
    d.d3dDevice->SetPixelShaderConstantF(0, ambient, 1);
}
