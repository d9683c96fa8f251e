// The blob scene's roughened sphere and the blob sculpture, built on a
// headless device: the roughening generator's values and which vertices it
// moves, the sculpture's ball count, that its surface is closed, which shader
// pair each kind of hardware gets, and that only the shaders make it spin.
#include "effects/blobscene.h"
#include "effects/blobsculpture.h"

#include "dx/dxdevice.h"
#include "dx/dxmath.h"
#include "dx/dxvertexbuffer.h"
#include "geometry/genmesh.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "resources/shaders/shaderprograms.h"
#include "tests/effects/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>

namespace {

using Blobs = effects::test::SceneTest;

// The linear congruential step of Numerical Recipes, written out in 64 bits.
std::uint32_t lcg(std::uint32_t seed) {
    return static_cast<std::uint32_t>((std::uint64_t{seed} * 1664525u + 1013904223u) % 4294967296u);
}

// The seed's low 23 bits as a fraction of 2^23.
double fraction(std::uint32_t seed) {
    return static_cast<double>(seed & 0x7FFFFF) / 8388608.0;
}

TEST_F(Blobs, RougheningMovesEveryThirteenthVertexOutwardByTheGeneratorsValue) {
    effects::BlobScene scene;
    scene.buildBlobScene(*d);
    vertexbuffer& rough = *scene.sphereA()->vertices;
    vertexbuffer& smooth = *scene.sphereB()->vertices;
    ASSERT_EQ(rough.vertexCount, smooth.vertexCount);
    ASSERT_GT(rough.vertexCount, 13 * 10);

    std::uint32_t seed = effects::kRougheningSeed;
    int moved = 0;
    for (int i = 0; i < rough.vertexCount; ++i) {
        const float* a = rough.position(i, false);
        const float* b = smooth.position(i, false);
        const double lengthA = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        const double lengthB = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
        if (i % 13 != 0) {
            EXPECT_EQ(std::memcmp(a, b, 3 * sizeof(float)), 0) << "vertex " << i << " moved";
            continue;
        }
        seed = lcg(seed);
        // Sphere B is the same sphere unmoved, with the normals A had before
        // it was roughened: A = B + r n.
        const float* n = smooth.normal(i, false);
        const double r = fraction(seed);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(a[k], b[k] + r * n[k], 1e-5) << "vertex " << i;
        }
        EXPECT_GE(lengthA, lengthB - 1e-6) << "vertex " << i << " moved inward";
        ++moved;
    }
    EXPECT_EQ(moved, (rough.vertexCount + 12) / 13);
    EXPECT_EQ(scene.roughSeed(), seed);
}

// Positions rounded to a fine grid, so that the copies of a vertex that
// neighbouring cubes each compute fall together.
using Key = std::tuple<long, long, long>;
Key keyOf(const float* p) {
    return {std::lround(p[0] * 2000.0f), std::lround(p[1] * 2000.0f), std::lround(p[2] * 2000.0f)};
}

TEST_F(Blobs, SculptureHas1926BallsAndAClosedSurface) {
    effects::BlobSculpture sculpture;
    sculpture.buildBlobSculpture(*d);
    EXPECT_EQ(sculpture.ballCount(), 321 * 6);

    metamecklo& field = *sculpture.sculpture();
    vertexbuffer& pool = *field.vertices;
    const int vertices = field.meshVertexCount;
    ASSERT_GT(vertices, 3000);
    ASSERT_EQ(vertices % 3, 0);
    EXPECT_EQ(field.triangleBuffer.capacity(), 0u) << "the triangle list outlives the only polygonisation";

    std::map<Key, int> ids;
    auto id = [&](int v) {
        const auto [it, added] = ids.emplace(keyOf(pool.position(v, false)), static_cast<int>(ids.size()));
        return it->second;
    };
    std::map<std::pair<int, int>, int> edges;
    int degenerate = 0;
    for (int t = 0; t < vertices; t += 3) {
        const int c[3] = {id(t), id(t + 1), id(t + 2)};
        if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) {
            ++degenerate; // a sliver whose corners weld: it adds no edge
            continue;
        }
        for (int e = 0; e < 3; ++e) {
            const int a = c[e];
            const int b = c[(e + 1) % 3];
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    }
    const auto open = std::count_if(edges.begin(), edges.end(), [](const auto& edge) { return edge.second != 2; });
    EXPECT_EQ(open, 0) << "of " << edges.size() << " edges (" << degenerate << " welded slivers)";
}

// The recipe the sculpture is made from, applied to a second field with the
// geometry library's operations: two helices around each axis, radii 0.2
// (sine) and 0.1 (cosine), a ball every 0.0025 from 0.1 while below 0.9,
// the central ball, borders cleared, seven blurs, extracted at level 0.1.
TEST_F(Blobs, SculptureIsTheHelixRecipeBlurredSevenTimesAtLevelPointOne) {
    effects::BlobSculpture sculpture;
    sculpture.buildBlobSculpture(*d);
    const metamecklo& built = *sculpture.sculpture();

    metamecklo recipe(d, 100, 100, 100, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, false);
    float t = 0.1f; // stored back as a float after every round
    for (int round = 0; round < 321; ++round) {
        const float a = 20.0f * t;
        const float h = 0.2f * std::sin(a) + 0.5f;
        const float k = 0.1f * std::cos(a) + 0.5f;
        const float centres[6][3] = {{t, h, h}, {h, t, h}, {h, h, t}, {t, k, k}, {k, t, k}, {k, k, t}};
        for (const float* c : centres) {
            recipe.addSignedBall(0.00225f, 25.0f, c);
        }
        t = t + 0.0025f;
    }
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    recipe.addBall(0.133f, 20.0f, middle);
    recipe.clearBorders();
    for (int i = 0; i < 7; ++i) {
        recipe.blurField();
    }
    recipe.setIsoLevel(0.1f);
    recipe.buildMesh();

    ASSERT_EQ(built.meshVertexCount, recipe.meshVertexCount);
    int differing = 0;
    for (int v = 0; v < recipe.meshVertexCount; ++v) {
        const float* a = built.vertices->position(v, false);
        const float* b = recipe.vertices->position(v, false);
        differing += std::memcmp(a, b, 3 * sizeof(float)) != 0 ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
}

// The byte size of a vertex or pixel shader's token stream; 0 for none.
template <typename Shader> UINT tokenBytes(Shader* shader) {
    UINT size = 0;
    return shader != nullptr && shader->GetFunction(nullptr, &size) == D3D_OK ? size : 0;
}

TEST_F(Blobs, SculptureTakesTheRimPairTheFallbackPairOrNoneByCaps) {
    const D3DCAPS9 real = d->caps;
    struct Case {
        DWORD vs, ps;
        UINT vsBytes, psBytes;
    };
    const Case cases[] = {
        {D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0), resources::kRimVertexProgramTokenCount * 4,
         resources::kRimPixelProgramTokenCount * 4},
        {D3DVS_VERSION(2, 0), D3DPS_VERSION(1, 4), resources::kFallbackVertexProgramTokenCount * 4,
         resources::kFallbackPixelProgramTokenCount * 4},
        {D3DVS_VERSION(1, 1), D3DPS_VERSION(2, 0), resources::kFallbackVertexProgramTokenCount * 4,
         resources::kFallbackPixelProgramTokenCount * 4},
        {D3DVS_VERSION(1, 0), D3DPS_VERSION(1, 2), 0, 0},
    };
    for (const Case& c : cases) {
        d->caps.VertexShaderVersion = c.vs;
        d->caps.PixelShaderVersion = c.ps;
        effects::BlobSculpture sculpture;
        sculpture.buildBlobSculpture(*d);
        const vertexbuffer& pool = *sculpture.sculpture()->vertices;
        EXPECT_EQ(std::pair(tokenBytes(pool.vertexShader), tokenBytes(pool.pixelShader)),
                  std::pair(c.vsBytes, c.psBytes))
            << std::hex << c.vs << " " << c.ps;
    }
    d->caps = real;
}

// Starts a frame on target 0 seen from `eye`, looking at the origin through 70 degrees.
void beginFrameFrom(device& dev, Vector3 eye) {
    Matrix view{};
    Matrix projection{};
    lookAtUp(view, Vector3{0.0f, 0.0f, 0.0f}, eye);
    perspective(projection, 70.0f);
    dev.setView(view);
    dev.setProjection(projection);
    dev.beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
}

// The sculpture seen from the side at scene time t.
effects::test::Picture drawSculpture(device& dev, effects::BlobSculpture& sculpture, float t, const char* name) {
    beginFrameFrom(dev, Vector3{0.0f, 1.0f, -7.0f});
    sculpture.drawBlobSculpture(dev, t, dx::Vector4{0.0f, 1.0f, -7.0f, 0.0f}, 0.0f);
    dev.endScene();
    return effects::test::readTarget(dev, 0, name);
}

int litPixels(const effects::test::Picture& p) {
    int lit = 0;
    for (D3DCOLOR c : p.pixels) {
        lit += (c & 0xFFFFFF) != 0 ? 1 : 0;
    }
    return lit;
}

// Pixels lit in one picture and black in the other.
int outlineDifference(const effects::test::Picture& p, const effects::test::Picture& q) {
    int differ = 0;
    for (std::size_t i = 0; i < p.pixels.size(); ++i) {
        differ += ((p.pixels[i] & 0xFFFFFF) != 0) != ((q.pixels[i] & 0xFFFFFF) != 0) ? 1 : 0;
    }
    return differ;
}

TEST_F(Blobs, OnlyTheShadersMakeTheSculptureSpin) {
    const D3DCAPS9 real = d->caps;
    effects::BlobSculpture shaded;
    shaded.buildBlobSculpture(*d);
    const effects::test::Picture a = drawSculpture(*d, shaded, 0.0f, "shaded-0");
    const effects::test::Picture b = drawSculpture(*d, shaded, 1.0f, "shaded-1");
    EXPECT_GT(litPixels(a), 200);
    EXPECT_NE(a.pixels, b.pixels) << "the rim shaders turn the sculpture with t";
    // The rim program mixes the green ambient (0, 1, 0) toward the magenta
    // colour (1, 0, 1) by the rim term f: red = blue = f, green = 1 - f.
    int rims = 0;
    for (const D3DCOLOR c : a.pixels) {
        if ((c & 0xFFFFFF) == 0 || effects::test::red(c) < 30) {
            continue;
        }
        ++rims;
        EXPECT_NEAR(effects::test::red(c) + effects::test::green(c), 255, 4) << std::hex << c;
        EXPECT_NEAR(effects::test::blue(c), effects::test::red(c), 2) << std::hex << c;
    }
    EXPECT_GT(rims, 50);

    d->caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    d->caps.PixelShaderVersion = D3DPS_VERSION(1, 0);
    effects::BlobSculpture plain;
    plain.buildBlobSculpture(*d);
    d->caps = real;
    const effects::test::Picture c = drawSculpture(*d, plain, 0.0f, "plain-0");
    const effects::test::Picture e = drawSculpture(*d, plain, 1.0f, "plain-1");
    EXPECT_GT(litPixels(c), 200);
    EXPECT_EQ(c.pixels, e.pixels) << "without shaders the identity world keeps it still";

    // The shaders turn it by t + 0.01 about x and z: at t = -0.01 it stands
    // as the identity world shows it (the same outline, to a few pixels), and
    // at t = 0 it is already turned away from that (0.01 radians move the
    // outline by a fraction of a pixel, along all of its length).
    const effects::test::Picture unturned = drawSculpture(*d, shaded, -0.01f, "shaded-unturned");
    EXPECT_LE(outlineDifference(unturned, c), 5);
    EXPECT_GT(outlineDifference(a, c), 20);
}

// One blob-scene frame at time t (5 s unless told) seen from (0, 0, 4), with
// a surface texture or without one.
effects::test::Picture drawBlobFrame(device& dev, effects::BlobScene& scene, IDirect3DBaseTexture9* surface,
                                     const char* name, bool useShaders = false, float t = 5.0f) {
    beginFrameFrom(dev, Vector3{0.0f, 0.0f, 4.0f});
    scene.drawBlobScene(dev, t, dx::Vector4{0.0f, 0.0f, 4.0f, 0.0f}, nullptr, useShaders, surface);
    dev.endScene();
    return effects::test::readTarget(dev, 0, name);
}

TEST_F(Blobs, TheSphereShowsOnlyWithASurfaceTexture) {
    // The blobs' tubes come from the process's one random state: start it
    // where a fresh process starts, whatever the tests before drew from it.
    platform::crt::srand(1);
    effects::BlobScene scene;
    scene.buildBlobScene(*d);
    const effects::test::Picture bare = drawBlobFrame(*d, scene, nullptr, "bare");

    IDirect3DTexture9* white = effects::test::textureOf(*d, 4, [](int, int) { return 0xFFFFFFFFu; });
    ASSERT_NE(white, nullptr);
    const effects::test::Picture textured = drawBlobFrame(*d, scene, white, "textured");
    white->Release();

    // The sphere (a unit sphere at the origin: its shaders run on the blobs'
    // constants) covers the middle of the picture; the blobs alone leave much
    // of it dark.
    EXPECT_GT(litPixels(textured), litPixels(bare) + static_cast<int>(bare.pixels.size() / 10));
    const D3DCOLOR middle = textured.at(textured.width / 2, textured.height / 2);
    EXPECT_GT(effects::test::green(middle), 0x40) << std::hex << middle;

    // The copies: scaled twice by a quarter, 1/16 of the first, at the
    // origin; the blobs turned a quarter about y, the sphere 2.6 across.
    const auto rowLength = [](const Matrix& m, int r) {
        return std::sqrt(m.m[r][0] * m.m[r][0] + m.m[r][1] * m.m[r][1] + m.m[r][2] * m.m[r][2]);
    };
    const Matrix& blobs = scene.blobs()->world;
    const Matrix& sphere = scene.sphereB()->world;
    for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(rowLength(blobs, r), 1.0 / 16.0, 1e-6) << "blobs row " << r;
        EXPECT_NEAR(rowLength(sphere, r), 2.6 / 16.0, 1e-6) << "sphere row " << r;
        EXPECT_EQ(std::pair(blobs.m[3][r], sphere.m[3][r]), std::pair(0.0f, 0.0f)) << "translation " << r;
    }
    EXPECT_NEAR(blobs.m[0][2], -1.0 / 16.0, 1e-6) << "x turned onto -z";
    // The last blend the copies set is the screen blend: source x its own
    // colour plus destination x (1 - source colour).
    DWORD source = 0, destination = 0;
    d->d3dDevice->GetRenderState(D3DRS_SRCBLEND, &source);
    d->d3dDevice->GetRenderState(D3DRS_DESTBLEND, &destination);
    EXPECT_EQ(std::pair(source, destination),
              std::pair(static_cast<DWORD>(D3DBLEND_SRCCOLOR), static_cast<DWORD>(D3DBLEND_INVSRCCOLOR)));
}

// Where two pictures differ: the smallest box holding every such pixel.
struct Box {
    int x0 = 1 << 30;
    int x1 = -1;
    int y0 = 1 << 30;
    int y1 = -1;
};
Box differing(const effects::test::Picture& a, const effects::test::Picture& b) {
    Box box;
    const int w = static_cast<int>(a.width);
    const int h = static_cast<int>(a.height);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                box = {std::min(box.x0, x), std::max(box.x1, x), std::min(box.y0, y), std::max(box.y1, y)};
            }
        }
    }
    return box;
}

// Scene 4 (no surface) and scene 5 (a surface) at 5 s and 6 s. Without the
// shader flag the sphere's own shader pair runs on the constants the blobs set
// last: the first draws and the first copy use the blobs' unscaled world, a
// unit sphere at the origin, so the surface shows exactly there.
TEST_F(Blobs, SceneAtFiveAndSixSecondsWithAndWithoutASurface) {
    // White and dark-blue squares two texels wide, so that the mapping shows on the sphere.
    IDirect3DTexture9* checker = effects::test::textureOf(
        *d, 8, [](int x, int y) { return (x / 2 + y / 2) % 2 == 0 ? 0xFFFFFFFFu : 0xFF000040u; });
    ASSERT_NE(checker, nullptr);
    // Each time is drawn by a scene of its own, built from the same random
    // state: a scene's later meshes, uploaded as a range, have been seen at
    // times to draw as its first when an earlier test had run (not found).
    std::array<effects::test::Picture, 6> pictures;
    std::size_t drawn = 0;
    for (const auto& [t, names] : {std::pair{5.0f, std::array{"bare-5s", "checker-5s", "nosphere-5s"}},
                                   std::pair{6.0f, std::array{"bare-6s", "checker-6s", "nosphere-6s"}}}) {
        platform::crt::srand(1);
        effects::BlobScene scene;
        scene.buildBlobScene(*d);
        // The blobs' pixel shader samples stage 0, which holds what the frame
        // before left there: bind what a run of frames of that scene leaves.
        // The last: the checker left at stage 0 but no surface passed, the
        // first blobs as in the checker frame and no sphere.
        using Pair = std::pair<IDirect3DTexture9*, IDirect3DTexture9*>;
        const std::array<Pair, 3> frames = {Pair{nullptr, nullptr}, Pair{checker, checker}, Pair{checker, nullptr}};
        for (std::size_t i = 0; i < frames.size(); ++i) {
            d->setRawTexture(0, frames[i].first);
            pictures[drawn++] = drawBlobFrame(*d, scene, frames[i].second, names[i], false, t);
        }
    }
    d->setRawTexture(0, nullptr);
    checker->Release();
    const auto& [bare5, checker5, noSphere5, bare6, checker6, noSphere6] = pictures;

    EXPECT_NE(bare5.pixels, bare6.pixels) << "the tubes move between 5 s and 6 s";
    EXPECT_NE(bare5.pixels, noSphere5.pixels) << "the blobs sample the texture left at stage 0";

    // A sphere of radius 1 seen from 4 units: its silhouette's half extent in
    // clip units is s / sqrt(4^2 - 1) with s = 1 / tan(70 / 2) (radians, the
    // camera above), the same in x and y (the projection does not widen x).
    const double s = 1.0 / std::tan(35.0);
    const double half = s / std::sqrt(15.0);
    const double w = bare5.width;
    const double h = bare5.height;
    for (const auto& [plain, surfaced, when] :
         {std::tuple{&noSphere5, &checker5, "5 s"}, std::tuple{&noSphere6, &checker6, "6 s"}}) {
        const Box box = differing(*plain, *surfaced);
        ASSERT_GE(box.x1, 0) << when << ": the surface changes nothing";
        // The sphere is a pushed-out cube of 2,000 triangles: its edge lies a
        // little inside the true sphere's. Blobs nearer the camera hide its
        // left side at 5 s (the depth test), so that edge may fall short.
        EXPECT_GE(box.x0, w / 2.0 * (1.0 - half) - 2.0) << when;
        EXPECT_NEAR(box.x1 + 1, w / 2.0 * (1.0 + half), 6.0) << when;
        EXPECT_NEAR(box.y0, h / 2.0 * (1.0 - half), 6.0) << when;
        EXPECT_NEAR(box.y1 + 1, h / 2.0 * (1.0 + half), 6.0) << when;
    }
}

// With useShaders set the rough sphere, which has no shaders of its own, is
// drawn by the fixed-function lights: two point lights of red 0.4, green 1,
// blue 0.4 (and a white specular). Where only the sphere shows, green leads.
TEST_F(Blobs, TheLightsOfTheShaderlessSphereAreGreen) {
    platform::crt::srand(1);
    effects::BlobScene scene;
    scene.buildBlobScene(*d);
    const effects::test::Picture bare = drawBlobFrame(*d, scene, nullptr, "bare");
    d->setRawTexture(0, nullptr);
    const effects::test::Picture lit = drawBlobFrame(*d, scene, nullptr, "lit", true);
    double red = 0.0, green = 0.0, blue = 0.0;
    int sphereOnly = 0;
    for (std::size_t i = 0; i < lit.pixels.size(); ++i) {
        if ((bare.pixels[i] & 0xFFFFFF) == 0 && (lit.pixels[i] & 0xFFFFFF) != 0) {
            red += effects::test::red(lit.pixels[i]);
            green += effects::test::green(lit.pixels[i]);
            blue += effects::test::blue(lit.pixels[i]);
            ++sphereOnly;
        }
    }
    ASSERT_GT(sphereOnly, 500);
    EXPECT_GT(green, 1.5 * red);
    EXPECT_GT(green, 1.5 * blue);
}

} // namespace
