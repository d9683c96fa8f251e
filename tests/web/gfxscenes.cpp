// Draws a few small scenes through the Direct3D 9 layer in virtual run mode
// and writes each back buffer to standard output as a line
// "scene <name> <width> <height> <pixels as 0xAARRGGBB hex, rows top down>".
// The desktop build draws with OpenGL 3.3 (EGL), the browser build with
// WebGL 2; gfxscenes.sh compares the two. Each scene leans on something
// WebGL 2 lacks and the layer works around: depth clamping, BGRA vertex
// colours and textures, base vertices, buffer mapping, the sprite origin,
// alpha of a target without alpha, read-back and the present hook.
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/runmode.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kSize = 64;

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
};
constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL;

struct PointVertex {
    float x, y, z;
    D3DCOLOR colour;
};

DWORD floatBits(float f) {
    DWORD d = 0;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

bool ok(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        std::fprintf(stderr, "gfxscenes: %s failed (0x%08X)\n", what, static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

D3DMATRIX identity() {
    return D3DMATRIX{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

// Left-handed perspective (D3DXMatrixPerspectiveFovLH's formula).
D3DMATRIX perspective(float fovY, float aspect, float zn, float zf) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    return D3DMATRIX{
        {{yScale / aspect, 0, 0, 0}, {0, yScale, 0, 0}, {0, 0, zf / (zf - zn), 1}, {0, 0, -zn * zf / (zf - zn), 0}}};
}

// A rotation about y then x, then a move along z.
D3DMATRIX world(float yaw, float pitch, float z) {
    const float cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    return D3DMATRIX{{{cy, sy * sp, -sy * cp, 0}, {0, cp, sp, 0}, {sy, -cy * sp, cy * cp, 0}, {0, 0, z, 1}}};
}

const D3DCOLOR kWhite[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};

// Stage 0 takes its colour (and, with alpha, its alpha) from the texture.
void textureStage(IDirect3DDevice9* d, D3DTEXTUREOP colourOp, bool alpha) {
    d->SetTextureStageState(0, D3DTSS_COLOROP, colourOp);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    if (colourOp == D3DTOP_MODULATE) {
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    }
    if (alpha) {
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    }
}

void blendByAlpha(IDirect3DDevice9* d) {
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

void drawQuad(IDirect3DDevice9* d, float x0, float y0, float x1, float y1, float z, const D3DCOLOR corners[4]) {
    const ScreenVertex v[4] = {{x0, y0, z, 1.0f, corners[0], 0.0f, 0.0f},
                               {x1, y0, z, 1.0f, corners[1], 1.0f, 0.0f},
                               {x1, y1, z, 1.0f, corners[2], 1.0f, 1.0f},
                               {x0, y1, z, 1.0f, corners[3], 0.0f, 1.0f}};
    d->SetFVF(kScreenFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(ScreenVertex));
}

// A managed texture whose texel (x, y) is pixel(x, y) in the format's layout.
IDirect3DTexture9* makeTexture(IDirect3DDevice9* d, D3DFORMAT format, UINT size, DWORD (*pixel)(UINT, UINT)) {
    IDirect3DTexture9* texture = nullptr;
    if (!ok(d->CreateTexture(size, size, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), "CreateTexture")) {
        return nullptr;
    }
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < size; ++y) {
        auto* row = static_cast<BYTE*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch;
        for (UINT x = 0; x < size; ++x) {
            const DWORD p = pixel(x, y);
            if (format == D3DFMT_A4R4G4B4) {
                const auto s = static_cast<WORD>(p);
                std::memcpy(row + x * 2, &s, 2);
            } else {
                std::memcpy(row + x * 4, &p, 4);
            }
        }
    }
    texture->UnlockRect(0);
    return texture;
}

// Screen text sits at z 3 with the depth test off: nothing may be clipped in
// depth. The corner colours tell red from blue (vertex colour order).
void depthClampScene(IDirect3DDevice9* d) {
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    const D3DCOLOR corners[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    drawQuad(d, 4, 4, 40, 40, 3.0f, corners);
    const D3DCOLOR back[4] = {0xFF203040, 0xFF203040, 0xFF802010, 0xFF802010};
    drawQuad(d, 30, 28, 60, 60, -2.0f, back);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
}

// A8R8G8B8 and X8R8G8B8 and A4R4G4B4 textures, the first two blended by their
// alpha (the X8 one must blend as opaque), modulated by the vertex colour.
void textureScene(IDirect3DDevice9* d) {
    IDirect3DTexture9* argb = makeTexture(d, D3DFMT_A8R8G8B8, 8, [](UINT x, UINT y) -> DWORD {
        return ((x + y) % 2 == 0 ? 0x80FF4000u : 0xFF0040C0u) + x * 0x000800u + y * 0x080000u;
    });
    IDirect3DTexture9* xrgb = makeTexture(d, D3DFMT_X8R8G8B8, 8, [](UINT x, UINT y) -> DWORD {
        return 0x00102030u + x * 0x001C00u + y * 0x1C0000u; // alpha 0, which the format ignores
    });
    IDirect3DTexture9* argb4 = makeTexture(
        d, D3DFMT_A4R4G4B4, 8, [](UINT x, UINT y) -> DWORD { return 0xF000u | (x * 2u) << 8 | (y * 2u) << 4 | 0x3u; });
    textureStage(d, D3DTOP_MODULATE, true);
    blendByAlpha(d);
    const D3DCOLOR tint[4] = {0xFFFFFFFF, 0xFFFF8080, 0xFF80FF80, 0xFF8080FF};
    d->SetTexture(0, argb);
    drawQuad(d, 0, 0, 32, 32, 0.5f, kWhite);
    d->SetTexture(0, xrgb);
    drawQuad(d, 32, 0, 64, 32, 0.5f, tint);
    d->SetTexture(0, argb4);
    drawQuad(d, 0, 32, 64, 64, 0.5f, kWhite);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetTexture(0, nullptr);
    for (IDirect3DTexture9* t : {argb, xrgb, argb4}) {
        if (t != nullptr) {
            t->Release();
        }
    }
}

// A lit octahedron from a locked vertex and index buffer, drawn indexed with
// a base vertex, in perspective with the depth test on.
void meshScene(IDirect3DDevice9* d) {
    constexpr UINT kPadding = 5; // vertices before the mesh: the base vertex skips them
    const float s = 0.57735f;
    const MeshVertex corners[6] = {{1, 0, 0, 1, 0, 0},   {-1, 0, 0, -1, 0, 0}, {0, 1, 0, 0, 1, 0},
                                   {0, -1, 0, 0, -1, 0}, {0, 0, 1, 0, 0, 1},   {0, 0, -1, 0, 0, -1}};
    const WORD faces[8][3] = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    // Flat faces: three vertices of their own each, with the face normal.
    std::vector<MeshVertex> vertices(kPadding, MeshVertex{9, 9, 9, 0, 0, 1});
    std::vector<WORD> indices;
    for (const auto& f : faces) {
        const float nx = (corners[f[0]].x + corners[f[1]].x + corners[f[2]].x) * s;
        const float ny = (corners[f[0]].y + corners[f[1]].y + corners[f[2]].y) * s;
        const float nz = (corners[f[0]].z + corners[f[1]].z + corners[f[2]].z) * s;
        for (WORD c : f) {
            indices.push_back(static_cast<WORD>(vertices.size() - kPadding));
            vertices.push_back(MeshVertex{corners[c].x, corners[c].y, corners[c].z, nx, ny, nz});
        }
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    const UINT vbBytes = static_cast<UINT>(vertices.size() * sizeof(MeshVertex));
    const UINT ibBytes = static_cast<UINT>(indices.size() * sizeof(WORD));
    if (!ok(d->CreateVertexBuffer(vbBytes, D3DUSAGE_WRITEONLY, kMeshFvf, D3DPOOL_MANAGED, &vb, nullptr),
            "CreateVertexBuffer") ||
        !ok(d->CreateIndexBuffer(ibBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
            "CreateIndexBuffer")) {
        return;
    }
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), vbBytes);
    vb->Unlock();
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices.data(), ibBytes);
    ib->Unlock();

    const D3DMATRIX w = world(0.6f, 0.5f, 3.2f);
    const D3DMATRIX view = identity();
    const D3DMATRIX projection = perspective(0.8f, 1.0f, 1.0f, 10.0f);
    d->SetTransform(D3DTS_WORLD, &w);
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &projection);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 0.9f, 0.7f, 1.0f};
    light.Direction = {0.5f, -0.7f, 0.6f};
    D3DMATERIAL9 material{};
    material.Diffuse = {0.9f, 0.5f, 0.2f, 1.0f};
    material.Ambient = {0.2f, 0.3f, 0.6f, 1.0f};
    d->SetLight(0, &light);
    d->LightEnable(0, TRUE);
    d->SetMaterial(&material);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    d->SetFVF(kMeshFvf);
    d->SetStreamSource(0, vb, 0, sizeof(MeshVertex));
    d->SetIndices(ib);
    ok(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kPadding, 0, 24, 0, 8), "DrawIndexedPrimitive");
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

// Point sprites with a texture that is dark at the top and bright at the
// bottom, so a sprite drawn upside down shows.
void spriteScene(IDirect3DDevice9* d) {
    IDirect3DTexture9* ramp = makeTexture(d, D3DFMT_A8R8G8B8, 16, [](UINT x, UINT y) -> DWORD {
        return 0xFF000000u | (y * 16u) << 16 | (x * 16u) << 8 | 0x40u;
    });
    d->SetTexture(0, ramp);
    textureStage(d, D3DTOP_MODULATE, false);
    d->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_POINTSIZE, floatBits(20.0f));
    const D3DMATRIX m = identity();
    d->SetTransform(D3DTS_WORLD, &m);
    d->SetTransform(D3DTS_VIEW, &m);
    d->SetTransform(D3DTS_PROJECTION, &m);
    const PointVertex points[3] = {
        {-0.5f, 0.5f, 0.5f, 0xFFFFFFFF}, {0.5f, 0.5f, 0.5f, 0xFFFF8040}, {0.0f, -0.5f, 0.5f, 0xFF40C0FF}};
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    d->DrawPrimitiveUP(D3DPT_POINTLIST, 3, points, sizeof(PointVertex));
    d->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    d->SetTexture(0, nullptr);
    if (ramp != nullptr) {
        ramp->Release();
    }
}

// Quads drawn with alpha 0x40 into a render target without alpha, which is
// then blended onto the back buffer by its own alpha: a format without alpha
// samples as opaque.
void targetScene(IDirect3DDevice9* d) {
    IDirect3DTexture9* target = nullptr;
    IDirect3DSurface9* targetSurface = nullptr;
    IDirect3DSurface9* back = nullptr;
    if (!ok(d->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            "CreateTexture") ||
        !ok(target->GetSurfaceLevel(0, &targetSurface), "GetSurfaceLevel") ||
        !ok(d->GetRenderTarget(0, &back), "GetRenderTarget")) {
        return;
    }
    d->SetRenderTarget(0, targetSurface);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x20E0C020, 1.0f, 0);
    const D3DCOLOR translucent[4] = {0x40FF0000, 0x400000FF, 0x4000FF00, 0x40FFFFFF};
    drawQuad(d, 4, 4, 28, 20, 0.5f, translucent);
    d->SetRenderTarget(0, back);
    const D3DCOLOR stripes[4] = {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000};
    drawQuad(d, 0, 0, 64, 64, 0.5f, stripes);
    d->SetTexture(0, target);
    textureStage(d, D3DTOP_SELECTARG1, true);
    blendByAlpha(d);
    drawQuad(d, 8, 8, 56, 56, 0.5f, kWhite);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetTexture(0, nullptr);
    back->Release();
    targetSurface->Release();
    target->Release();
}

std::string sceneLine(const char* name, UINT width, UINT height, const std::vector<D3DCOLOR>& pixels) {
    std::string line = std::string("scene ") + name + " " + std::to_string(width) + " " + std::to_string(height) + " ";
    char hex[9];
    for (D3DCOLOR p : pixels) {
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(p));
        line += hex;
    }
    return line;
}

// The frames the present hook is handed, as lines like writeBackBuffer's.
void printPresented(void* user, UINT width, UINT height, const std::uint8_t* rgba) {
    std::vector<D3DCOLOR> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<D3DCOLOR>(rgba[4 * i + 3]) << 24 | static_cast<D3DCOLOR>(rgba[4 * i]) << 16 |
                    static_cast<D3DCOLOR>(rgba[4 * i + 1]) << 8 | rgba[4 * i + 2];
    }
    std::puts(sceneLine(static_cast<const char*>(user), width, height, pixels).c_str());
}

bool writeBackBuffer(IDirect3DDevice9* d, const char* name) {
    IDirect3DSurface9* back = nullptr;
    if (!ok(d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), "GetBackBuffer")) {
        return false;
    }
    UINT width = 0;
    UINT height = 0;
    std::vector<D3DCOLOR> pixels;
    const HRESULT hr = platform::d3d9::readBack(back, width, height, pixels);
    back->Release();
    if (!ok(hr, "readBack")) {
        return false;
    }
    std::puts(sceneLine(name, width, height, pixels).c_str());
    return true;
}

} // namespace

int main() {
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        std::fprintf(stderr, "gfxscenes: no Direct3D object\n");
        return 1;
    }
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = kSize;
    params.BackBufferHeight = kSize;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (!ok(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device),
            "CreateDevice")) {
        return 1;
    }
    const struct {
        const char* name;
        void (*draw)(IDirect3DDevice9*);
    } scenes[] = {{"depthclamp", depthClampScene},
                  {"textures", textureScene},
                  {"mesh", meshScene},
                  {"sprites", spriteScene},
                  {"target", targetScene}};
    int status = 0;
    for (const auto& scene : scenes) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00182028, 1.0f, 0);
        device->BeginScene();
        scene.draw(device);
        device->EndScene();
        if (!writeBackBuffer(device, scene.name)) {
            status = 1;
        }
    }
    // The last scene once more, as the present hook hands it over.
    char presented[] = "presented";
    platform::d3d9::setPresentHook(printPresented, presented);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    platform::d3d9::flushPresentHook();
    platform::d3d9::setPresentHook(nullptr, nullptr);
    device->Release();
    d3d->Release();
    std::puts(status == 0 ? "gfxscenes: done" : "gfxscenes: failed");
    return status;
}
