// Vertex lighting and point sprites against the platform's formulas,
// evaluated here independently of the generated shaders.
#include "tests/platform/d3d9/harness.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace platform::d3d9::test {
namespace {

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
};

D3DMATRIX identity() {
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

// Left-handed perspective with a square aspect: x' = x cot(fov / 2),
// z' = z f / (f - n) - n f / (f - n), w' = z.
D3DMATRIX perspective(float fov, float zn, float zf) {
    const float s = 1.0f / std::tan(fov / 2);
    return {{{s, 0, 0, 0}, {0, s, 0, 0}, {0, 0, zf / (zf - zn), 1}, {0, 0, -zn * zf / (zf - zn), 0}}};
}

// Row-vector 4 x 4 helpers for the turned-geometry test.
D3DMATRIX product(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                r.m[i][j] += a.m[i][k] * b.m[k][j];
            }
        }
    }
    return r;
}

D3DMATRIX rotation(int axis, float angle) {
    D3DMATRIX m = identity();
    const int u = (axis + 1) % 3;
    const int v = (axis + 2) % 3;
    m.m[u][u] = std::cos(angle);
    m.m[u][v] = std::sin(angle);
    m.m[v][u] = -std::sin(angle);
    m.m[v][v] = std::cos(angle);
    return m;
}

// A point light of range 100 with a white specular colour.
D3DLIGHT9 pointLight(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient, D3DVECTOR position, float attenuation0) {
    // Type, diffuse, specular, ambient, position, direction, range, falloff, attenuation 0, 1, 2, theta, phi.
    return {D3DLIGHT_POINT, diffuse, {1, 1, 1, 1}, ambient, position, {}, 100, 0, attenuation0, 0, 0, 0, 0};
}

struct Vec3 {
    double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
double dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 unit(Vec3 a) {
    const double l = std::sqrt(dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}
// p x M for a point (w = 1) or a direction (w = 0).
Vec3 times(Vec3 p, const D3DMATRIX& m, double w) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + w * m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + w * m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + w * m.m[3][2]};
}

// Points lit by a point light (diffuse and specular, attenuation 1.1) under a
// rotated, unevenly scaled world and a turned camera; each point shows its
// vertex's colour. The expected colours follow the fixed-function formulas
// in camera space: normals by the inverse transpose of world x view, built
// here from the pieces (the scale's inverse, then the rotations), never by a
// general inverse; H = norm(norm(-P) + L) for LOCALVIEWER TRUE.
TEST_F(DeviceTest, TurnedGeometryIsLitByTheFormula) {
    makeDevice(128, 128);
    const float sx = 1.6f, sy = 0.7f, sz = 1.2f;
    struct Case {
        const char* name;
        D3DMATRIX worldRotation, viewRotation;
    };
    const Case cases[] = {
        {"rotatedWorld", product(rotation(1, 0.7f), rotation(0, 0.4f)), identity()},
        {"turnedCamera", identity(), product(rotation(1, -0.5f), rotation(2, 0.3f))},
        {"both", rotation(2, 1.1f), product(rotation(0, 0.35f), rotation(1, 0.45f))},
    };
    D3DMATRIX proj = perspective(static_cast<float>(M_PI / 3), 0.1f, 100.0f);
    // Diffuse, ambient, specular, emissive, power.
    const D3DMATERIAL9 material{{0.8f, 0.7f, 0.9f, 1}, {0.3f, 0.3f, 0.3f, 1}, {0.7f, 0.7f, 0.7f, 1}, {}, 8};
    const D3DLIGHT9 light = pointLight({0.9f, 0.8f, 0.6f, 1}, {0.1f, 0.1f, 0.1f, 1}, {-1.0f, 0.8f, -3.0f}, 1.1f);
    const Vec3 lightWorld = {-1.0, 0.8, -3.0};
    for (const Case& c : cases) {
        // The view turns the scene about the world origin, then moves it 5 in front of the camera.
        D3DMATRIX view = c.viewRotation;
        view.m[3][2] = 5.0f;
        const D3DMATRIX world = product({{{sx, 0, 0, 0}, {0, sy, 0, 0}, {0, 0, sz, 0}, {0, 0, 0, 1}}}, c.worldRotation);
        std::vector<LitVertex> points;
        for (int j = 0; j < 5; ++j) {
            for (int i = 0; i < 5; ++i) {
                const float x = (static_cast<float>(i) - 2) * 0.55f;
                const float y = (static_cast<float>(j) - 2) * 0.55f;
                points.push_back({x, y, 0.2f * x * y, x, -y, -1.0f + 0.3f * x});
            }
        }
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->SetMaterial(&material);
        ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
        device->LightEnable(0, TRUE);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
        device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
        device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
        device->SetRenderState(D3DRS_AMBIENT, 0x00101010u);
        device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(5.0f));
        begin();
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        drawPrimitiveUp(D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_POINTLIST, static_cast<UINT>(points.size()), points.data());
        end();
        Picture p = readBackBuffer(c.name);

        const D3DMATRIX worldView = product(world, view);
        const Vec3 lightEye = times(lightWorld, view, 1);
        // (S R_w R_v)^-T = S^-1 R_w R_v, the rotations being orthonormal.
        const D3DMATRIX normalRotation = product(c.worldRotation, c.viewRotation);
        int highlights = 0;
        std::vector<std::pair<long, long>> centres;
        for (const LitVertex& v : points) {
            const Vec3 eye = times({v.x, v.y, v.z}, worldView, 1);
            const Vec3 n = unit(times({v.nx / sx, v.ny / sy, v.nz / sz}, normalRotation, 0));
            const Vec3 toLight = lightEye - eye;
            const double d = std::sqrt(dot(toLight, toLight));
            const Vec3 l = unit(toLight);
            const double att = 1.0 / 1.1;
            const double nDotL = std::clamp(dot(n, l), 0.0, 1.0);
            const double nDotH = dot(n, unit(unit({-eye.x, -eye.y, -eye.z}) + l));
            const double highlightTerm = nDotL > 0 && nDotH > 0 ? std::pow(nDotH, 8.0) * att : 0.0;
            highlights += highlightTerm * 0.7 > 0.1 ? 1 : 0;
            ASSERT_LT(d, light.Range);
            // The D3D viewport maps x_ndc -1..1 to 0..width with pixel centres on integers.
            const double cx = eye.x * proj.m[0][0] / eye.z;
            const double cy = eye.y * proj.m[1][1] / eye.z;
            const long px = std::lround((1 + cx) * 64);
            const long py = std::lround((1 - cy) * 64);
            ASSERT_TRUE(px >= 2 && px < 126 && py >= 2 && py < 126) << c.name;
            for (auto [ox, oy] : centres) {
                ASSERT_TRUE(std::abs(ox - px) >= 5 || std::abs(oy - py) >= 5) << c.name << ": points overlap";
            }
            centres.emplace_back(px, py);
            const D3DCOLOR got = p.at(static_cast<UINT>(px), static_cast<UINT>(py));
            const int channels[3] = {red(got), green(got), blue(got)};
            const double ambient = 0.3 * (16.0 / 255.0 + 0.1 * att);
            const double diffuseLight[3] = {0.9, 0.8, 0.6};
            const double matDiffuse[3] = {0.8, 0.7, 0.9};
            for (int k = 0; k < 3; ++k) {
                const double diffuse = std::min(1.0, ambient + matDiffuse[k] * diffuseLight[k] * nDotL * att);
                const double expected = std::min(1.0, diffuse + std::min(1.0, 0.7 * highlightTerm)) * 255;
                EXPECT_NEAR(channels[k], expected, 2.5) << c.name << " channel " << k << " at " << px << "," << py;
            }
        }
        // The case must hold highlights for a turned normal to show.
        EXPECT_GE(highlights, 3) << c.name << " " << highlights;
    }
}

// With D3DRS_SPECULARENABLE the specular term Cs Ls (N.H)^P att is added
// after the texture stages. A square facing a camera that carries the light:
// all four corners light alike, so the square is uniform at the corner value.
TEST_F(DeviceTest, SpecularHighlightAddsAfterTheStages) {
    const LitVertex quad[4] = {{-1, -1, 0, 0, 0, -1}, {-1, 1, 0, 0, 0, -1}, {1, 1, 0, 0, 0, -1}, {1, -1, 0, 0, 0, -1}};
    // The world keeps its default, the identity.
    D3DMATRIX view = identity();
    view.m[3][2] = 2.0f;
    D3DMATRIX proj = perspective(static_cast<float>(M_PI / 2), 0.1f, 10.0f);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    // Diffuse, ambient, specular, emissive, power.
    D3DMATERIAL9 material{{0.2f, 0.2f, 0.2f, 1}, {}, {0.5f, 0.5f, 0.5f, 1}, {}, 10};
    device->SetMaterial(&material);
    D3DLIGHT9 light = pointLight({1, 1, 1, 1}, {}, {0, 0, -2}, 1); // at the camera
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    // At a corner (1, 1, 2) in camera space: L = V = -P / |P|, so H = L and
    // N.L = N.H = 2 / sqrt 6.
    const double nDotL = 2.0 / std::sqrt(6.0);
    const double diffuse = 0.2 * nDotL;
    const double specular = 0.5 * std::pow(nDotL, 10.0);
    auto drawSquare = [&](const char* name) {
        // Culling off, lighting on.
        begin();
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        drawPrimitiveUp(D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_TRIANGLEFAN, 2, quad);
        end();
        return readBackBuffer(name);
    };
    // The device's own setting first: specular is off until it is enabled.
    for (int pass = 0; pass < 3; ++pass) {
        const BOOL enable = pass == 2 ? TRUE : FALSE;
        if (pass > 0) {
            device->SetRenderState(D3DRS_SPECULARENABLE, enable);
        }
        Picture p = drawSquare(enable != FALSE ? "specular" : "nospecular");
        const double expected = (diffuse + (enable != FALSE ? specular : 0.0)) * 255;
        EXPECT_NEAR(red(p.at(32, 32)), expected, 1.5) << "specular " << enable;
        EXPECT_NEAR(blue(p.at(20, 40)), expected, 1.5) << "specular " << enable;
    }
    // LOCALVIEWER FALSE: the view vector is (0, 0, -1), towards a camera
    // looking along +z, so H = norm(L + (0, 0, -1)). With L = (-1, -1, -2) / sqrt 6
    // at a corner, N.H = (2 / sqrt 6 + 1) / |L + (0, 0, -1)|.
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    const double l = 1.0 / std::sqrt(6.0);
    const double hz = 2 * l + 1;
    const double nDotH = hz / std::sqrt(2 * l * l + hz * hz);
    EXPECT_NEAR(red(drawSquare("distantviewer").at(32, 32)), (diffuse + 0.5 * std::pow(nDotH, 10.0)) * 255, 1.5);

    // A light's ambient colour is attenuated like its diffuse one:
    // Ca (Ga + att La) + Cd Ld (N.L) att with att = 1 / Attenuation0.
    material.Ambient = {1, 1, 1, 1};
    device->SetMaterial(&material);
    light.Ambient = {0.6f, 0.6f, 0.6f, 1};
    light.Attenuation0 = 2;
    device->SetLight(0, &light);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    EXPECT_NEAR(red(drawSquare("attenuatedambient").at(32, 32)), (0.6 * 0.5 + diffuse * 0.5) * 255, 1.5);
}

// Point sprite size with scaling: Ss = Vh Si sqrt(1 / (A + B De + C De^2)),
// clamped to [POINTSIZE_MIN, POINTSIZE_MAX]; pre-transformed points are
// POINTSIZE pixels. Sprite texture coordinates run (0, 0) at the top left.
TEST_F(DeviceTest, PointSpriteSizesAndOrientation) {
    // World and view keep their defaults, identities.
    D3DMATRIX proj = perspective(static_cast<float>(M_PI / 2), 0.1f, 10.0f);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    struct Case {
        float size, a, b, c, distance;
    };
    const Case cases[] = {
        {0.25f, 0.0f, 0.0f, 1.0f, 2.0f}, {0.5f, 1.0f, 0.0f, 0.0f, 4.0f}, {0.5f, 0.0f, 1.0f, 0.0f, 4.0f}};
    for (const auto& c : cases) {
        begin();
        device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
        device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(c.size));
        device->SetRenderState(D3DRS_POINTSCALE_A, std::bit_cast<DWORD>(c.a));
        device->SetRenderState(D3DRS_POINTSCALE_B, std::bit_cast<DWORD>(c.b));
        device->SetRenderState(D3DRS_POINTSCALE_C, std::bit_cast<DWORD>(c.c));
        const ColouredVertex point{0, 0, c.distance, 0xFFFFFFFFu};
        drawPrimitiveUp(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_POINTLIST, 1, &point);
        end();
        Picture p = readBackBuffer("pointscale");
        const double de = c.distance;
        const double expected =
            std::clamp(64.0 * c.size * std::sqrt(1.0 / (c.a + c.b * de + c.c * de * de)), 1.0, 64.0);
        int width = 0;
        for (UINT x = 0; x < 64; ++x) {
            width += p.at(x, 32) == 0xFFFFFFFFu ? 1 : 0;
        }
        EXPECT_NEAR(width, expected, 1.0) << "size " << c.size << " distance " << c.distance;
    }
    // Sprites: the texture's top half red, bottom half blue; a 16-pixel
    // pre-transformed sprite shows red on top.
    Ref<IDirect3DTexture9> texture{
        makeTexture(2, 2, [](UINT, UINT y) -> D3DCOLOR { return y == 0 ? 0xFFFF0000u : 0xFF0000FFu; })};
    begin(0xFF000000u, texture);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(16.0f));
    const ScreenVertex sprite{32, 32, 0, 1, 0xFFFFFFFFu, 0, 0};
    drawPrimitiveUp(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_POINTLIST, 1, &sprite);
    // Triangles drawn with sprites still on use their own texture coordinates:
    // v = 0.75 (the blue row) across this one.
    const ScreenVertex strip[3] = {{0, 48, 0, 1, 0xFFFFFFFFu, 0.25f, 0.75f},
                                   {16, 48, 0, 1, 0xFFFFFFFFu, 0.75f, 0.75f},
                                   {0, 64, 0, 1, 0xFFFFFFFFu, 0.25f, 0.75f}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, strip, sizeof strip[0]), D3D_OK);
    device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(200.0f)); // clamped to POINTSIZE_MAX 64
    const ScreenVertex big{0, 0, 0, 1, 0xFFFFFFFFu, 0, 0};
    device->SetTexture(0, nullptr);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &big, sizeof big), D3D_OK);
    end();
    Picture p = readBackBuffer("sprite");
    expectPixels(p, {{32, 26, 0xFFFF0000u}, {32, 38, 0xFF0000FFu}, {2, 50, 0xFF0000FFu}});
    int spriteWidth = 0;
    for (UINT x = 16; x < 64; ++x) {
        spriteWidth += p.at(x, 36) != 0xFF000000u ? 1 : 0;
    }
    EXPECT_EQ(spriteWidth, 16);
    // The big point centred on (0, 0) covers 32 pixels right and down of it.
    expectPixels(p, {{31, 0, 0xFFFFFFFFu}, {33, 0, 0xFF000000u}});
}

} // namespace
} // namespace platform::d3d9::test
