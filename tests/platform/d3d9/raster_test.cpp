// Placement, orientation, culling, depth, clears and render targets. The
// expected pixels follow the platform's rules: pixel centres on integer
// coordinates with a top-left fill rule, row 0 at the top, clockwise front
// faces, and D3DCMP_LESS depth testing.
#include "tests/platform/d3d9/harness.h"

#include <array>
#include <cmath>
#include <vector>

namespace platform::d3d9::test {
namespace {

constexpr D3DCOLOR kBackground = 0xFF102030u;

using Raster = DeviceTest;

// The bounding box {x0, y0, x1, y1} of the pixels of the colour.
std::array<int, 4> coverage(const Picture& p, D3DCOLOR colour) {
    std::array<int, 4> box{1 << 30, 1 << 30, -1, -1};
    for (UINT y = 0; y < p.height; ++y) {
        for (UINT x = 0; x < p.width; ++x) {
            if (p.at(x, y) == colour) {
                box = {std::min(box[0], static_cast<int>(x)), std::min(box[1], static_cast<int>(y)),
                       std::max(box[2], static_cast<int>(x)), std::max(box[3], static_cast<int>(y))};
            }
        }
    }
    return box;
}

// A square render-target texture and its one level.
void makeTarget(IDirect3DDevice9* device, UINT size, D3DFORMAT format, Ref<IDirect3DTexture9>& texture,
                Ref<IDirect3DSurface9>& level) {
    ASSERT_EQ(
        device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, texture.put(), nullptr),
        D3D_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, level.put()), D3D_OK);
}

D3DCOLOR texelColour(UINT x, UINT y) {
    return 0xFF000000u | (x * 16u) << 16 | (y * 16u) << 8 | 0x40u;
}

// Edge probes: one edge of a quad placed just past or just before a pixel
// centre (0.001 to 0.008 pixel), or exactly on it. The rule decides each: a
// pixel is covered when its centre is inside, a centre on a left or top edge
// counts and one on a right or bottom edge does not. So the first covered
// column is ceil(x0) and the last ceil(x1) - 1, rows likewise, for positions
// on the rasteriser's grid of 1/256 pixel (8 bits below the pixel, the
// precision Direct3D 10 hardware also snaps to): an edge 0.001 past a centre
// snaps onto it and is decided as a tie, from 0.002 on it is past. Both the
// pre-transformed path and transformed vertices (identity transforms, the
// position given in clip space) are probed.
TEST_F(Raster, EdgesJustPastPixelCentresAreDecidedByTheFillRule) {
    struct Quad {
        float x0, y0, x1, y1;
    };
    std::vector<Quad> probes;
    for (int sign : {1, -1, 0}) {
        for (int thousandths = 1; thousandths <= 8; ++thousandths) {
            const float e = static_cast<float>(sign * thousandths) / 1000.0f;
            probes.push_back({20 + e, 30.5f, 40.5f, 50.5f}); // left edge
            probes.push_back({10.5f, 30.5f, 20 + e, 50.5f}); // right edge
            probes.push_back({10.5f, 30 + e, 40.5f, 50.5f}); // top edge
            probes.push_back({10.5f, 10.5f, 40.5f, 30 + e}); // bottom edge
            if (sign == 0) {
                break; // exact ties once
            }
        }
    }
    // The transforms keep their defaults, identities.
    for (bool pretransformed : {true, false}) {
        for (const Quad& q : probes) {
            begin(kBackground);
            if (pretransformed) {
                drawQuad(q.x0, q.y0, q.x1, q.y1, 0xFFFF0000u);
            } else {
                // The viewport maps x_ndc -1..1 to 0..64, y_ndc 1..-1 to 0..64.
                auto nx = [](float x) { return static_cast<float>(x / 32.0 - 1.0); };
                auto ny = [](float y) { return static_cast<float>(1.0 - y / 32.0); };
                const ColouredVertex v[4] = {{nx(q.x0), ny(q.y0), 0.5f, 0xFFFF0000u},
                                             {nx(q.x1), ny(q.y0), 0.5f, 0xFFFF0000u},
                                             {nx(q.x1), ny(q.y1), 0.5f, 0xFFFF0000u},
                                             {nx(q.x0), ny(q.y1), 0.5f, 0xFFFF0000u}};
                drawPrimitiveUp(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLEFAN, 2, v);
            }
            end();
            const std::array<int, 4> covered = coverage(readBackBuffer("probe"), 0xFFFF0000u);
            auto first = [](float edge) { return static_cast<int>(std::ceil(std::round(edge * 256.0) / 256.0)); };
            const std::array<int, 4> want{first(q.x0), first(q.y0), first(q.x1) - 1, first(q.y1) - 1};
            EXPECT_EQ(covered, want) << (pretransformed ? "pre-transformed" : "transformed") << " quad (" << q.x0
                                     << ", " << q.y0 << ")-(" << q.x1 << ", " << q.y1 << ")";
        }
    }
}

// "Directly Mapping Texels to Pixels": a W x H texture on a quad from
// (-0.5, -0.5) to (W - 0.5, H - 0.5) puts texel (i, j) on pixel (i, j);
// texture row 0 is the top row of the picture.
TEST_F(Raster, TexelsMapOneToOneAndRowZeroIsTheTop) {
    makeDevice(16, 16);
    Ref<IDirect3DTexture9> texture{makeTexture(16, 16, texelColour)};
    begin(kBackground, texture);
    drawQuad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFFu);
    end();
    Picture p = readBackBuffer("texels");
    for (UINT y = 0; y < 16; ++y) {
        for (UINT x = 0; x < 16; ++x) {
            ASSERT_EQ(p.at(x, y), texelColour(x, y)) << x << "," << y;
        }
    }
}

// What is drawn into a render-target texture at the top is row 0 of the
// texture, and sampling v = 0 reads it back at the top again.
TEST_F(Raster, RenderTargetsKeepRowZeroAtTheTop) {
    Ref<IDirect3DTexture9> target;
    Ref<IDirect3DSurface9> surface;
    ASSERT_NO_FATAL_FAILURE(makeTarget(device, 32, D3DFMT_X8R8G8B8, target, surface));
    Ref<IDirect3DSurface9> back;
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device->GetRenderTarget(0, back.put()), D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(depth.put()), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, surface), D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(nullptr), D3D_OK);
    begin(0xFF0000FFu);
    drawQuad(0, 0, 32, 4, 0xFFFF0000u);
    end();
    expectPixels(read(surface, "target"),
                 {{5, 0, 0xFFFF0000u}, {5, 3, 0xFFFF0000u}, {5, 4, 0xFF0000FFu}, {5, 31, 0xFF0000FFu}});

    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    begin(kBackground, target);
    drawQuad(-0.5f, -0.5f, 63.5f, 63.5f, 0xFFFFFFFFu);
    end();
    expectPixels(readBackBuffer("composed"),
                 {{10, 0, 0xFFFF0000u}, {10, 7, 0xFFFF0000u}, {10, 8, 0xFF0000FFu}, {10, 63, 0xFF0000FFu}});
}

// Front faces are clockwise on the screen; D3DCULL_CCW (the default) drops
// counter-clockwise ones, D3DCULL_CW drops clockwise ones. Checked for
// pre-transformed and transformed vertices alike.
TEST_F(Raster, CullingFollowsTheScreenWinding) {
    // Clockwise on the screen: top-left, top-right, bottom-left.
    // Clockwise on the screen in the lower right, away from the clip-space triangle.
    const ScreenVertex cwScreen[3] = {
        {40, 34, 0, 1, 0xFFFF0000u, 0, 0}, {62, 34, 0, 1, 0xFFFF0000u, 0, 0}, {40, 62, 0, 1, 0xFFFF0000u, 0, 0}};
    const ScreenVertex ccwScreen[3] = {cwScreen[0], cwScreen[2], cwScreen[1]};
    // Clip space with identity transforms: +y is up, so (-1, 1) is the top left.
    const ColouredVertex cwClip[3] = {
        {-1, 1, 0.5f, 0xFF00FF00u}, {1, 1, 0.5f, 0xFF00FF00u}, {-1, -1, 0.5f, 0xFF00FF00u}};
    const ColouredVertex ccwClip[3] = {cwClip[0], cwClip[2], cwClip[1]};
    for (DWORD cull : {D3DCULL_CCW, D3DCULL_CW, D3DCULL_NONE}) {
        for (bool clockwise : {true, false}) {
            const bool visible = cull == D3DCULL_NONE || (cull == D3DCULL_CCW) == clockwise;
            begin(kBackground);
            device->SetRenderState(D3DRS_CULLMODE, cull);
            drawPrimitiveUp(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLELIST, 1,
                            clockwise ? cwScreen : ccwScreen);
            drawPrimitiveUp(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, 1, clockwise ? cwClip : ccwClip);
            end();
            Picture p = readBackBuffer("cull");
            EXPECT_EQ(p.at(43, 37) == 0xFFFF0000u, visible) << "screen, cull " << cull << " cw " << clockwise;
            EXPECT_EQ(p.at(50, 3) == 0xFF00FF00u, visible) << "clip, cull " << cull << " cw " << clockwise;
        }
    }
}

// D3DCMP_LESS against the z of pre-transformed vertices; ZWRITEENABLE FALSE
// tests without writing.
TEST_F(Raster, DepthTestAndWrite) {
    begin(kBackground);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    drawQuad(0, 0, 32, 32, 0xFFFF0000u, 0.5f);
    drawQuad(0, 0, 16, 32, 0xFF00FF00u, 0.7f);  // behind: hidden
    drawQuad(16, 0, 32, 32, 0xFF0000FFu, 0.3f); // in front: shown, depth 0.3
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    drawQuad(16, 0, 32, 16, 0xFFFFFF00u, 0.2f); // shown, depth stays 0.3
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    drawQuad(16, 0, 32, 32, 0xFF00FFFFu, 0.25f); // passes against 0.3 everywhere
    drawQuad(0, 0, 32, 32, 0xFFFFFFFFu, 0.5f);   // equal to 0.5 fails LESS on the left
    end();
    expectPixels(readBackBuffer("depth"),
                 {{8, 8, 0xFFFF0000u}, {24, 8, 0xFF00FFFFu}, {24, 24, 0xFF00FFFFu}, {40, 8, kBackground}});
}

// Pre-transformed vertices are not clipped in depth while no depth test
// runs (ZENABLE FALSE, or no depth surface bound): screen text at z 3 or
// -0.5 shows, as on Direct3D 9 hardware (wined3d flattens their z to 0 in
// that case). With the depth test on, z outside 0..1 is clipped even when
// ZFUNC is ALWAYS. Untransformed geometry past the far plane stays clipped.
TEST_F(Raster, PreTransformedDepthOutsideZeroToOne) {
    begin(kBackground);
    drawQuad(0, 0, 16, 16, 0xFFFF0000u, 3.0f);
    drawQuad(16, 0, 32, 16, 0xFF00FF00u, -0.5f);
    drawQuad(32, 0, 48, 16, 0xFF0000FFu, 10.0f);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    drawQuad(0, 16, 16, 32, 0xFFFFFF00u, 3.0f);   // clipped
    drawQuad(16, 16, 32, 32, 0xFFFFFF00u, -0.5f); // clipped
    drawQuad(32, 16, 48, 32, 0xFF00FFFFu, 0.5f);  // inside: drawn
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    drawQuad(0, 32, 16, 48, 0xFFFF00FFu, 3.0f); // drawn again after the depth-tested draws
    // Untransformed, depth test off, identity transforms: z 2 lies beyond
    // the far plane (clip space 0 <= z <= w).
    const XyzVertex far[3] = {{0.5f, 0, 2}, {1, 0, 2}, {0.5f, -1, 2}}; // right half, bottom half
    const XyzVertex near[3] = {{0, 0, 0.5f}, {0.5f, 0, 0.5f}, {0, -1, 0.5f}};
    drawPrimitiveUp(D3DFVF_XYZ, D3DPT_TRIANGLELIST, 1, far); // white without a colour
    drawPrimitiveUp(D3DFVF_XYZ, D3DPT_TRIANGLELIST, 1, near);
    end();
    const Picture p = readBackBuffer("depthrange");
    expectPixels(p, {{8, 8, 0xFFFF0000u}, {24, 8, 0xFF00FF00u}, {40, 8, 0xFF0000FFu}});    // no depth test
    expectPixels(p, {{8, 24, kBackground}, {24, 24, kBackground}, {40, 24, 0xFF00FFFFu}}); // depth test, ALWAYS
    // Depth test off again; the near triangle (x 32..48, y 32..64) shows, the far one (x 48..64) is clipped.
    expectPixels(p, {{8, 40, 0xFFFF00FFu}, {36, 34, 0xFFFFFFFFu}, {52, 34, kBackground}});

    // No depth surface: the depth test cannot run, so nothing is clipped.
    begin(kBackground);
    ASSERT_EQ(device->SetDepthStencilSurface(nullptr), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    drawQuad(0, 0, 16, 16, 0xFFFF0000u, 3.0f);
    end();
    EXPECT_EQ(readBackBuffer("nodepthsurface").at(8, 8), 0xFFFF0000u);
}

// A draw that samples the target it draws into (the feedback passes of a
// zoom blur) reads the target as it was before the draw.
TEST_F(Raster, DrawingIntoTheTargetBeingSampledReadsItsPreviousContents) {
    Ref<IDirect3DTexture9> target;
    Ref<IDirect3DSurface9> surface;
    ASSERT_NO_FATAL_FAILURE(makeTarget(device, 32, D3DFMT_X8R8G8B8, target, surface));
    device->SetRenderTarget(0, surface);
    device->SetDepthStencilSurface(nullptr);
    begin(0xFF0000FFu);
    drawQuad(0, 0, 16, 32, 0xFFFF0000u); // left half red
    device->SetTexture(0, target);
    device->SetTexture(1, target);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD); // of texture and current by default
    // The right half shows the left half twice added: red stays red.
    ScreenVertex2 v[4] = {{16, 0, 0, 1, 0xFFFFFFFFu, 0, 0, 0, 0},
                          {32, 0, 0, 1, 0xFFFFFFFFu, 0.5f, 0, 0.5f, 0},
                          {32, 32, 0, 1, 0xFFFFFFFFu, 0.5f, 1, 0.5f, 1},
                          {16, 32, 0, 1, 0xFFFFFFFFu, 0, 1, 0, 1}};
    drawPrimitiveUp(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2, D3DPT_TRIANGLEFAN, 2, v);
    end();
    expectPixels(read(surface, "feedback"), {{4, 4, 0xFFFF0000u}, {20, 4, 0xFFFF0000u}, {31, 31, 0xFFFF0000u}});
}

// Clear works on the current target only, within the viewport; Z and
// stencil clears need a depth surface.
TEST_F(Raster, ClearsTouchOnlyTheirTargetAndViewport) {
    Ref<IDirect3DTexture9> a;
    Ref<IDirect3DTexture9> b;
    Ref<IDirect3DSurface9> sa;
    Ref<IDirect3DSurface9> sb;
    ASSERT_NO_FATAL_FAILURE(makeTarget(device, 16, D3DFMT_A8R8G8B8, a, sa));
    ASSERT_NO_FATAL_FAILURE(makeTarget(device, 16, D3DFMT_A8R8G8B8, b, sb));
    device->SetDepthStencilSurface(nullptr);
    device->SetRenderTarget(0, sa);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80FF0000u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    device->SetRenderTarget(0, sb);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    device->SetRenderTarget(0, sa);
    D3DVIEWPORT9 vp{4, 4, 8, 8, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK);
    // Rectangles reaching past each edge of the viewport: every one is cut
    // back to the viewport, and each edge is checked along its whole length.
    const D3DRECT rects[] = {{0, 0, 6, 6}, {10, 10, 16, 16}, {0, 7, 16, 8}, {8, 0, 9, 16}};
    device->SetRenderTarget(0, sb);
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    EXPECT_EQ(device->Clear(4, rects, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
    // Alpha is kept in an A8R8G8B8 target.
    expectPixels(read(sa, "a"),
                 {{0, 0, 0x80FF0000u}, {4, 4, 0xFF0000FFu}, {11, 11, 0xFF0000FFu}, {12, 11, 0x80FF0000u}});
    Picture pb = read(sb, "b");
    for (UINT y = 0; y < 16; ++y) {
        for (UINT x = 0; x < 16; ++x) {
            bool inside = false;
            for (const D3DRECT& r : rects) {
                const LONG x0 = std::max<LONG>(r.x1, 4), x1 = std::min<LONG>(r.x2, 12);
                const LONG y0 = std::max<LONG>(r.y1, 4), y1 = std::min<LONG>(r.y2, 12);
                const LONG px = static_cast<LONG>(x), py = static_cast<LONG>(y);
                inside = inside || (px >= x0 && px < x1 && py >= y0 && py < y1);
            }
            EXPECT_EQ(pb.at(x, y), inside ? 0xFFFFFFFFu : 0xFF00FF00u) << "at " << x << "," << y;
        }
    }
}

} // namespace
} // namespace platform::d3d9::test
