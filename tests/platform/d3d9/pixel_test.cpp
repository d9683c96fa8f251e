// Blending, texture stages, texture formats, mip levels and buffer locks.
// Expected colours are computed here from the platform's formulas in [0, 1]
// and compared with a tolerance of one step of 8-bit rounding.
#include "tests/platform/d3d9/harness.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform::d3d9::test {
namespace {

using Pixels = DeviceTest;

double channel(D3DCOLOR c, int shift) {
    return static_cast<double>((c >> shift) & 0xFF) / 255.0;
}

void expectNear(D3DCOLOR actual, double r, double g, double b, const char* what) {
    auto to8 = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    EXPECT_NEAR(red(actual), to8(r), 1) << what;
    EXPECT_NEAR(green(actual), to8(g), 1) << what;
    EXPECT_NEAR(blue(actual), to8(b), 1) << what;
}

// result = source x SRCBLEND + destination x DESTBLEND per channel, or with
// D3DBLENDOP subtract s - d and reverse subtract d - s (ONE, ONE), clamped at
// 0; the source differs from the destination in every channel.
TEST_F(Pixels, BlendModesAndOperations) {
    const D3DCOLOR destination = 0xFF4080C0u;
    const D3DCOLOR source = 0x60A05020u; // alpha 0x60
    struct Case {
        DWORD src, dst, op;
        const char* name;
        double (*blend)(double s, double d, double a);
    };
    // The operation add comes from the device's default state.
    const Case cases[] = {
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD, "add", [](double s, double d, double) { return s + d; }},
        {D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR, D3DBLENDOP_ADD, "screen",
         [](double s, double d, double) { return s * s + d * (1 - s); }},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, "multiply",
         [](double s, double d, double) { return d * s; }},
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, "alpha",
         [](double s, double d, double a) { return s * a + d * (1 - a); }},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, "subtract", [](double s, double d, double) { return s - d; }},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, "reverse subtract",
         [](double s, double d, double) { return d - s; }},
    };
    for (const auto& c : cases) {
        begin(destination);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, c.src);
        device->SetRenderState(D3DRS_DESTBLEND, c.dst);
        if (c.op != D3DBLENDOP_ADD) {
            device->SetRenderState(D3DRS_BLENDOP, c.op);
        }
        drawQuad(0, 0, 32, 64, source);
        end();
        Picture p = readBackBuffer(c.name);
        const double a = channel(source, 24);
        double out[3];
        for (int i = 0; i < 3; ++i) {
            out[i] = c.blend(channel(source, 16 - 8 * i), channel(destination, 16 - 8 * i), a);
        }
        expectNear(p.at(10, 10), out[0], out[1], out[2], c.name);
        EXPECT_EQ(p.at(40, 10), destination) << c.name;
    }
}

D3DCOLOR stageTexel0(UINT, UINT) {
    return 0xFF80C040u;
}
D3DCOLOR stageTexel1(UINT, UINT) {
    return 0xFF2040F0u;
}

// Stage 0 modulate (texture x diffuse); stage 1 blend factor alpha
// (Arg1 x a + Arg2 x (1 - a), a = TEXTUREFACTOR alpha), add, subtract
// (Arg1 - Arg2), modulate 2x (2 x Arg1 x Arg2) and add signed
// (Arg1 + Arg2 - 0.5), each clamped to [0, 1]. The factor alphas sit far
// from one half and the two arguments differ in every channel, so that
// swapped arguments show.
TEST_F(Pixels, TextureStageOperations) {
    Ref<IDirect3DTexture9> t0{makeTexture(4, 4, stageTexel0)};
    Ref<IDirect3DTexture9> t1{makeTexture(4, 4, stageTexel1)};
    const D3DCOLOR diffuse = 0xFFC08040u;
    struct Case {
        DWORD op1;
        D3DCOLOR factor;
        const char* name;
        double (*stage1)(double tex1, double current, double a);
    };
    const Case cases[] = {
        {D3DTOP_DISABLE, 0x80808080u, "modulate", [](double, double current, double) { return current; }},
        {D3DTOP_BLENDFACTORALPHA, 0x20808080u, "blendfactor 0x20",
         [](double tex1, double current, double a) { return tex1 * a + current * (1 - a); }},
        {D3DTOP_BLENDFACTORALPHA, 0xE0808080u, "blendfactor 0xE0",
         [](double tex1, double current, double a) { return tex1 * a + current * (1 - a); }},
        {D3DTOP_ADD, 0x80808080u, "add", [](double tex1, double current, double) { return tex1 + current; }},
        {D3DTOP_SUBTRACT, 0x80808080u, "subtract", [](double tex1, double current, double) { return tex1 - current; }},
        {D3DTOP_MODULATE2X, 0x80808080u, "modulate2x",
         [](double tex1, double current, double) { return 2 * tex1 * current; }},
        {D3DTOP_ADDSIGNED, 0x80808080u, "addsigned",
         [](double tex1, double current, double) { return tex1 + current - 0.5; }},
    };
    for (const Case& c : cases) {
        begin();
        device->SetTexture(0, t0);
        device->SetTexture(1, t1);
        // By default stage 0 modulates texture and current, stage 1 takes texture and current.
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(1, D3DTSS_COLOROP, c.op1);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, c.factor);
        ScreenVertex2 v[4] = {{0, 0, 0, 1, diffuse, 0, 0, 0, 0},
                              {64, 0, 0, 1, diffuse, 1, 0, 1, 0},
                              {64, 64, 0, 1, diffuse, 1, 1, 1, 1},
                              {0, 64, 0, 1, diffuse, 0, 1, 0, 1}};
        drawPrimitiveUp(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2, D3DPT_TRIANGLEFAN, 2, v);
        end();
        Picture p = readBackBuffer(c.name);
        double out[3];
        for (int i = 0; i < 3; ++i) {
            const int shift = 16 - 8 * i;
            const double current = channel(stageTexel0(0, 0), shift) * channel(diffuse, shift);
            out[i] = c.stage1(channel(stageTexel1(0, 0), shift), current, channel(c.factor, 24));
        }
        expectNear(p.at(20, 20), out[0], out[1], out[2], c.name);
    }
}

// Untextured geometry under the default stage states shows its diffuse
// colour, and lighting off without a vertex colour gives opaque white. A
// vertex without a specular colour adds black when specular is on.
TEST_F(Pixels, MissingTexturesAndColours) {
    begin();
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    drawQuad(0, 0, 32, 64, 0xFF336699u);
    const XyzVertex tri[3] = {{0, 1, 0.5f}, {1, 1, 0.5f}, {0, -1, 0.5f}}; // right half of the screen, top
    drawPrimitiveUp(D3DFVF_XYZ, D3DPT_TRIANGLELIST, 1, tri);
    end();
    Picture p = readBackBuffer("untextured");
    expectPixels(p, {{10, 10, 0xFF336699u}, {34, 2, 0xFFFFFFFFu}});
}

// A4R4G4B4 texels are 0xARGB in a WORD; each 4-bit value v reads as v / 15.
TEST_F(Pixels, A4R4G4B4UploadAndG16R16Sampling) {
    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, texture.put(), nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 4);
    // The pitch is the row's width, so the four texels lie one after the other.
    std::fill_n(static_cast<WORD*>(locked.pBits), 4, WORD{0xF84C});
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    Ref<IDirect3DTexture9> rg;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_G16R16, D3DPOOL_MANAGED, rg.put(), nullptr), D3D_OK);
    ASSERT_EQ(rg->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 8);
    // G in the high WORD, R in the low one.
    std::fill_n(static_cast<DWORD*>(locked.pBits), 4, (0x4000u << 16) | 0xFFFFu);
    ASSERT_EQ(rg->UnlockRect(0), D3D_OK);

    begin(0xFF000000u, texture);
    drawQuad(0, 0, 32, 64, 0xFFFFFFFFu);
    device->SetTexture(0, rg);
    drawQuad(32, 0, 64, 64, 0xFFFFFFFFu);
    end();
    Picture p = readBackBuffer("formats");
    expectNear(p.at(10, 10), 8.0 / 15, 4.0 / 15, 12.0 / 15, "A4R4G4B4");
    // G16R16 samples as (R, G, 1): blue, which the format lacks, reads 1.
    expectNear(p.at(40, 10), 1.0, 0x4000 / 65535.0, 1.0, "G16R16");
}

// A level keeps what was written into it: a fresh level locks as zeros, and
// a later lock, of the whole level or of a rectangle, finds the bytes of the
// last unlock in every format, the bytes no unlock wrote included.
TEST_F(Pixels, LockingAgainFindsWhatWasWritten) {
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_G16R16};
    for (const D3DFORMAT format : formats) {
        Ref<IDirect3DTexture9> texture;
        ASSERT_EQ(device->CreateTexture(8, 4, 2, 0, format, D3DPOOL_MANAGED, texture.put(), nullptr), D3D_OK);
        for (UINT level = 0; level < 2; ++level) {
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
            const UINT rows = 4 >> level;
            const std::size_t bytes = static_cast<std::size_t>(locked.Pitch) * rows;
            auto* bits = static_cast<BYTE*>(locked.pBits);
            EXPECT_EQ(std::count(bits, bits + bytes, BYTE{0}), static_cast<std::ptrdiff_t>(bytes))
                << format << " level " << level << " starts as zeros";
            std::vector<BYTE> written(bytes);
            for (std::size_t i = 0; i < bytes; ++i) {
                written[i] = static_cast<BYTE>(i * 37 + 11 + level);
            }
            std::memcpy(bits, written.data(), bytes);
            ASSERT_EQ(texture->UnlockRect(level), D3D_OK);

            // A rectangle of the second row: the other bytes stay as written.
            const RECT rect{1, 1, 3, 2};
            ASSERT_EQ(texture->LockRect(level, &locked, &rect, 0), D3D_OK);
            const std::size_t texel = static_cast<std::size_t>(locked.Pitch) / (8 >> level);
            auto* inside = static_cast<BYTE*>(locked.pBits);
            EXPECT_EQ(std::memcmp(inside, written.data() + locked.Pitch + texel, 2 * texel), 0)
                << format << " level " << level << ": the rectangle reads what was written";
            std::memset(inside, 0xA5, 2 * texel);
            std::memset(written.data() + locked.Pitch + texel, 0xA5, 2 * texel);
            ASSERT_EQ(texture->UnlockRect(level), D3D_OK);

            ASSERT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
            EXPECT_EQ(std::memcmp(locked.pBits, written.data(), bytes), 0)
                << format << " level " << level << ": the whole level after the rectangle";
            ASSERT_EQ(texture->UnlockRect(level), D3D_OK);
        }
    }
}

// Each mip level a colour of its own; a quad the size of level n shows level
// n with point mip filtering. Levels = 0 makes the whole chain.
TEST_F(Pixels, MipLevels) {
    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 9u);
    ASSERT_EQ(device->CreateTexture(256, 256, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 8u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(7, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);

    const D3DCOLOR colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    ASSERT_EQ(device->CreateTexture(16, 16, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr), D3D_OK);
    for (UINT level = 0; level < 4; ++level) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        const UINT size = 16u >> level;
        EXPECT_EQ(locked.Pitch, static_cast<INT>(size * 4));
        for (UINT y = 0; y < size; ++y) {
            std::fill_n(reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch), size,
                        colours[level]);
        }
        ASSERT_EQ(texture->UnlockRect(level), D3D_OK);
    }
    begin(0xFF000000u, texture);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    // Level n at x = 17 n, one column apart from the next.
    for (UINT level = 0; level < 4; ++level) {
        const float x = 17.0f * static_cast<float>(level);
        drawQuad(x, 0, x + static_cast<float>(16u >> level), static_cast<float>(16u >> level), 0xFFFFFFFFu);
    }
    end();
    expectPixels(readBackBuffer("mips"),
                 {{0, 0, colours[0]}, {17, 0, colours[1]}, {34, 0, colours[2]}, {51, 0, colours[3]}});
}

// Buffer locks map the store itself: a later lock of a range reads what was
// written there, and what lies outside a locked range stays as it was, in a
// readable vertex buffer and an index buffer.
TEST_F(Pixels, BufferLocksKeepWhatLiesOutsideTheRange) {
    Ref<IDirect3DVertexBuffer9> readable;
    ASSERT_EQ(device->CreateVertexBuffer(96, 0, 0, D3DPOOL_MANAGED, readable.put(), nullptr), D3D_OK);
    Ref<IDirect3DIndexBuffer9> indices;
    ASSERT_EQ(device->CreateIndexBuffer(96, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, indices.put(), nullptr), D3D_OK);
    auto check = [](auto* buffer, const char* what) {
        std::vector<BYTE> written(96);
        for (std::size_t i = 0; i < written.size(); ++i) {
            written[i] = static_cast<BYTE>(i * 29 + 3);
        }
        void* data = nullptr;
        ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, written.data(), written.size());
        ASSERT_EQ(buffer->Unlock(), D3D_OK);
        ASSERT_EQ(buffer->Lock(40, 16, &data, 0), D3D_OK);
        EXPECT_EQ(std::memcmp(data, written.data() + 40, 16), 0) << what << ": the range reads what was written";
        std::memset(data, 0xA5, 16);
        std::memset(written.data() + 40, 0xA5, 16);
        ASSERT_EQ(buffer->Unlock(), D3D_OK);
        ASSERT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(std::memcmp(data, written.data(), written.size()), 0) << what << ": the whole buffer afterwards";
        ASSERT_EQ(buffer->Unlock(), D3D_OK);
        // A lock at the very end is empty, and a second lock before the unlock is refused.
        ASSERT_EQ(buffer->Lock(96, 0, &data, 0), D3D_OK);
        EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL) << what;
        ASSERT_EQ(buffer->Unlock(), D3D_OK);
        EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL) << what;
    };
    check(readable.get(), "vertex buffer");
    check(indices.get(), "index buffer");
}

// A draw uses the buffer contents it was issued with: a later DISCARD lock
// gives fresh memory, a NOOVERWRITE lock of a range writes where nothing
// queued reads, and a draw from a locked buffer is refused.
TEST_F(Pixels, LockDiscardAndNoOverwrite) {
    Ref<IDirect3DVertexBuffer9> vb;
    const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, fvf,
                                         D3DPOOL_DEFAULT, vb.put(), nullptr),
              D3D_OK);
    void* data = nullptr;
    // A 16-pixel square at x0 in the four vertices from the offset on.
    auto write = [&](UINT offset, UINT size, DWORD flags, float x0, D3DCOLOR colour) {
        ASSERT_EQ(vb->Lock(offset * sizeof(ScreenVertex), size * sizeof(ScreenVertex), &data, flags), D3D_OK);
        auto* v = static_cast<ScreenVertex*>(data);
        v[0] = {x0, 0, 0, 1, colour, 0, 0};
        v[1] = {x0 + 16, 0, 0, 1, colour, 0, 0};
        v[2] = {x0 + 16, 16, 0, 1, colour, 0, 0};
        v[3] = {x0, 16, 0, 1, colour, 0, 0};
        ASSERT_EQ(vb->Unlock(), D3D_OK);
    };
    ASSERT_NO_FATAL_FAILURE(write(0, 0, D3DLOCK_DISCARD, 0, 0xFFFF0000u));
    begin();
    device->SetFVF(fvf);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex)), D3D_OK);
    // Drawing from a buffer while it is locked is refused.
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK); // red at x 0..15
    ASSERT_NO_FATAL_FAILURE(write(4, 4, D3DLOCK_NOOVERWRITE, 16, 0xFF00FF00u));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2), D3D_OK); // green at x 16..31
    ASSERT_NO_FATAL_FAILURE(write(0, 0, D3DLOCK_DISCARD, 32, 0xFF0000FFu));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK); // blue at x 32..47
    end();
    expectPixels(readBackBuffer("locks"),
                 {{8, 8, 0xFFFF0000u}, {24, 8, 0xFF00FF00u}, {40, 8, 0xFF0000FFu}, {56, 8, 0xFF000000u}});
    // Reading past the end is refused; discarding a static buffer is outside the subset.
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 6, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(vb->Lock(0, 9 * sizeof(ScreenVertex), &data, 0), D3DERR_INVALIDCALL);
}

// Indexed drawing from buffers with a declaration of the vertex pools'
// layout (position, normal, colour, three-float texture coordinates):
// indices are offset by BaseVertexIndex and read from startIndex on.
TEST_F(Pixels, IndexedDrawingWithADeclaration) {
    struct PoolVertex {
        float x, y, z, nx, ny, nz;
        D3DCOLOR colour;
        float u, v, w;
    };
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                          {0, 28, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    Ref<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, declaration.put()), D3D_OK);
    UINT count = 0;
    ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 5u);
    // Two unused vertices first, then the left half (red) and the right half (green) of the
    // clip-space square as four vertices each.
    std::vector<PoolVertex> vertices(10, PoolVertex{0, 0, 0.5f, 0, 0, -1, 0xFF000000u, 0, 0, 0});
    auto rect = [&](std::size_t at, float x0, float x1, D3DCOLOR colour) {
        vertices[at] = {x0, 1, 0.5f, 0, 0, -1, colour, 0, 0, 0};
        vertices[at + 1] = {x1, 1, 0.5f, 0, 0, -1, colour, 1, 0, 0};
        vertices[at + 2] = {x1, -1, 0.5f, 0, 0, -1, colour, 1, 1, 0};
        vertices[at + 3] = {x0, -1, 0.5f, 0, 0, -1, colour, 0, 1, 0};
    };
    rect(2, -1, 0, 0xFFFF0000u);
    rect(6, 0, 1, 0xFF00FF00u);
    Ref<IDirect3DVertexBuffer9> vb;
    const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(PoolVertex));
    ASSERT_EQ(device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, vb.put(), nullptr), D3D_OK);
    void* data = nullptr;
    auto upload = [&] {
        ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, vertices.data(), bytes);
        ASSERT_EQ(vb->Unlock(), D3D_OK);
    };
    ASSERT_NO_FATAL_FAILURE(upload());
    // Indices of one rectangle, twice: the first copy after three padding entries.
    const WORD indices[9] = {9, 9, 9, 0, 1, 2, 0, 2, 3};
    Ref<IDirect3DIndexBuffer9> ib;
    ASSERT_EQ(device->CreateIndexBuffer(sizeof indices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, ib.put(),
                                        nullptr),
              D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), D3D_OK);

    begin();
    ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, sizeof(PoolVertex)), D3D_OK);
    ASSERT_EQ(device->SetIndices(ib), D3D_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 3, 2), D3D_OK);             // red half
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 6, 0, 4, 3, 2), D3D_OK);             // green half
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 6, 2), D3DERR_INVALIDCALL); // past the end
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 3, 2), D3DERR_INVALIDCALL); // locked
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    // Wireframe draws the edges only.
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    rect(2, -0.5f, 0.5f, 0xFFFFFFFFu);
    ASSERT_NO_FATAL_FAILURE(upload());
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 3, 2), D3D_OK);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    end();
    // The halves; inside the wireframe rectangle (not filled) and on its left edge at x = 16.
    expectPixels(readBackBuffer("indexed"),
                 {{8, 32, 0xFFFF0000u}, {56, 32, 0xFF00FF00u}, {20, 32, 0xFFFF0000u}, {16, 40, 0xFFFFFFFFu}});
}

// D3DRS_COLORWRITEENABLE bits: 1 red, 2 green, 4 blue, 8 alpha; a white quad
// changes only the channels whose bits are set.
TEST_F(Pixels, ColourWriteMaskKeepsTheOtherChannels) {
    const D3DCOLOR destination = 0xFF406080u;
    for (DWORD mask : {1u, 2u, 4u, 6u}) {
        begin(destination);
        device->SetRenderState(D3DRS_COLORWRITEENABLE, mask);
        drawQuad(0, 0, 32, 64, 0xFFFFFFFFu);
        device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
        end();
        Picture p = readBackBuffer("colorwrite");
        const D3DCOLOR want = 0xFF000000u | ((mask & 1) != 0 ? 0xFF0000u : 0x400000u) |
                              ((mask & 2) != 0 ? 0xFF00u : 0x6000u) | ((mask & 4) != 0 ? 0xFFu : 0x80u);
        EXPECT_EQ(p.at(10, 10), want) << mask;
    }
}

D3DCOLOR leftRedRightBlue(UINT x, UINT) {
    return x < 2 ? 0xFFFF0000u : 0xFF0000FFu;
}

// Texture u from 0 to 2 across the quad: D3DTADDRESS_WRAP repeats the
// texture (red, blue, red, blue), MIRROR flips every other copy (red, blue,
// blue, red), CLAMP holds the edge texel (red, blue, blue, blue).
TEST_F(Pixels, AddressModesBeyondTheTexture) {
    Ref<IDirect3DTexture9> t{makeTexture(4, 4, leftRedRightBlue)};
    const D3DCOLOR r = 0xFFFF0000u;
    const D3DCOLOR b = 0xFF0000FFu;
    struct Case {
        DWORD mode;
        D3DCOLOR quarters[4];
        const char* name;
    };
    for (const Case& c :
         {Case{D3DTADDRESS_WRAP, {r, b, r, b}, "wrap"}, Case{D3DTADDRESS_MIRROR, {r, b, b, r}, "mirror"},
          Case{D3DTADDRESS_CLAMP, {r, b, b, b}, "clamp"}}) {
        begin(0xFF000000u, t);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode); // point filtering by default
        drawQuad(0, 0, 64, 64, 0xFFFFFFFFu, 0, 2, 1);
        end();
        Picture p = readBackBuffer(c.name);
        for (int q = 0; q < 4; ++q) {
            EXPECT_EQ(p.at(static_cast<UINT>(q * 16 + 8), 32), c.quarters[q]) << c.name << " quarter " << q;
        }
    }
}

// Like the retail runtime, a draw after EndScene still lands (a scene that
// closes its pass early and draws one more quad relies on it).
TEST_F(Pixels, DrawsAfterEndSceneStillLand) {
    begin();
    end();
    drawQuad(0, 0, 16, 16, 0xFF20C040u);
    const Picture p = readBackBuffer("after-end");
    expectNear(p.at(4, 4), 0x20 / 255.0, 0xC0 / 255.0, 0x40 / 255.0, "inside the quad");
    expectNear(p.at(40, 40), 0.0, 0.0, 0.0, "outside it");
}

} // namespace
} // namespace platform::d3d9::test
