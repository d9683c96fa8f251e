// meshdump: the show's generated meshes as Wavefront OBJ files, or drawn with
// one plain light as PNG pictures, so that a person can look at them.
//
//   meshdump OUTDIR         cube.obj, sphere.obj, ball.obj, tubes.obj,
//                           sculpture.obj and blobscene.obj
//   meshdump --png OUTDIR   the same six meshes as NAME.png (512 x 512)
//
// Run it from build/ or the repository top: the blob scene opens "shaders/".
// It runs the Direct3D 9 layer in virtual mode (a headless EGL context).
// Status 0 when every file was written, 1 when one could not be, 2 on bad
// arguments; --help or -h prints the usage on standard output (status 0).

#include "dx/dxdevice.h"
#include "dx/dxmath.h"
#include "dx/dxvertexbuffer.h"
#include "effects/blobscene.h"
#include "effects/blobsculpture.h"
#include "geometry/genmesh.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/runmode.h"
#include "tools/headless/headless.h"
#include "tools/pngfile/pngfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr UINT kPictureSide = 512;

// A mesh read out of a vertex pool: per-vertex attributes and corner triples.
struct MeshData {
    std::vector<float> positions; // x, y, z per vertex
    std::vector<float> normals;   // x, y, z per vertex
    std::vector<float> uvs;       // u, v per vertex
    std::vector<int> corners;     // three vertex numbers per triangle
};

void readVertices(vertexbuffer& vb, int count, MeshData& out) {
    for (int i = 0; i < count; ++i) {
        const float* p = vb.position(i, false);
        const float* n = vb.normal(i, false);
        const float* t = vb.texCoord(0, i, false);
        out.positions.insert(out.positions.end(), {p[0], p[1], p[2]});
        out.normals.insert(out.normals.end(), {n[0], n[1], n[2]});
        out.uvs.insert(out.uvs.end(), {t[0], t[1]});
    }
}

MeshData dataOf(mesh& m) {
    MeshData out;
    readVertices(*m.vertices, m.vertices->vertexCount, out);
    for (int t = 0; t < m.triangleCount(); ++t) {
        for (int c = 0; c < 3; ++c) {
            out.corners.push_back(m.corner(t, c));
        }
    }
    return out;
}

// The field's last mesh: consecutive vertices, three per triangle.
MeshData dataOf(metamecklo& field) {
    MeshData out;
    readVertices(*field.vertices, field.meshVertexCount, out);
    for (int v = 0; v < field.meshVertexCount; ++v) {
        out.corners.push_back(v);
    }
    return out;
}

bool writeObj(const std::string& path, const std::string& name, const MeshData& m) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        std::fprintf(stderr, "meshdump: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const std::size_t vertexCount = m.positions.size() / 3;
    std::fprintf(f, "# %zu vertices, %zu triangles\no %s\n", vertexCount, m.corners.size() / 3, name.c_str());
    for (std::size_t i = 0; i < vertexCount; ++i) {
        std::fprintf(f, "v %.9g %.9g %.9g\n", m.positions[3 * i], m.positions[3 * i + 1], m.positions[3 * i + 2]);
    }
    for (std::size_t i = 0; i < vertexCount; ++i) {
        std::fprintf(f, "vt %.9g %.9g\n", m.uvs[2 * i], m.uvs[2 * i + 1]);
    }
    for (std::size_t i = 0; i < vertexCount; ++i) {
        std::fprintf(f, "vn %.9g %.9g %.9g\n", m.normals[3 * i], m.normals[3 * i + 1], m.normals[3 * i + 2]);
    }
    for (std::size_t t = 0; t + 2 < m.corners.size(); t += 3) {
        std::fprintf(f, "f");
        for (std::size_t c = 0; c < 3; ++c) {
            const int k = m.corners[t + c] + 1;
            std::fprintf(f, " %d/%d/%d", k, k, k);
        }
        std::fprintf(f, "\n");
    }
    const bool failed = std::ferror(f) != 0;
    const int savedErrno = errno;
    if (std::fclose(f) != 0 || failed) {
        std::fprintf(stderr, "meshdump: cannot write %s: %s\n", path.c_str(),
                     std::strerror(failed ? savedErrno : errno));
        return false;
    }
    return true;
}

// Each output: a name and how to draw it (the data is read after drawing
// has set up the pool it lives in).
struct Dumped {
    std::string name;
    MeshData data;
    std::function<void()> draw; // draws the mesh with the device's world transform left to it
};

// Centre and radius of the positions' bounding box.
void boundsOf(const MeshData& m, Vector3& centre, float& radius) {
    float lo[3] = {1e30f, 1e30f, 1e30f};
    float hi[3] = {-1e30f, -1e30f, -1e30f};
    for (std::size_t i = 0; i < m.positions.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], m.positions[i]);
        hi[i % 3] = std::max(hi[i % 3], m.positions[i]);
    }
    centre = {0.5f * (lo[0] + hi[0]), 0.5f * (lo[1] + hi[1]), 0.5f * (lo[2] + hi[2])};
    const float dx = hi[0] - lo[0];
    const float dy = hi[1] - lo[1];
    const float dz = hi[2] - lo[2];
    radius = std::max(0.5f * std::sqrt(dx * dx + dy * dy + dz * dz), 1e-3f);
}

// The mesh lit by one white directional light from over the viewer's left
// shoulder, grey ambient, no texture and no culling, on dark blue.
bool drawPicture(device& d, const Dumped& item, const std::string& path) {
    Vector3 centre{};
    float radius = 1.0f;
    boundsOf(item.data, centre, radius);
    const float fov = 0.8f;
    const float distance = radius / std::sin(0.5f * fov) * 1.05f;
    const Vector3 eye{centre.x + 0.35f * distance, centre.y + 0.45f * distance, centre.z - 0.82f * distance};
    Matrix view{};
    Matrix projection{};
    Matrix world{};
    lookAtUp(view, centre, eye);
    perspective(projection, fov);
    identity(world);

    IDirect3DDevice9* dev = d.d3dDevice;
    d.beginTarget(0, 0xFF101828u, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    d.setView(view);
    d.setProjection(projection);
    d.setWorld(world);
    d.resetStages();
    d.useFixedFunction();
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    d.setAlphaBlend(false);
    d.setDepthTest(true);
    d.cullNone();
    dev->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    dev->SetRenderState(D3DRS_AMBIENT, 0xFF404040u);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    Vector3 towards{};
    normalize({-0.5f, -0.6f, 0.62f}, towards);
    light.Direction = {towards.x, towards.y, towards.z};
    dev->SetLight(0, &light);
    dev->LightEnable(1, FALSE);
    d.setLighting(true);
    d.enableLight0();
    item.draw();
    d.endScene();

    UINT width = 0;
    UINT height = 0;
    std::vector<D3DCOLOR> pixels;
    if (platform::d3d9::readBack(d.targetSurface[0], width, height, pixels) != D3D_OK) {
        std::fprintf(stderr, "meshdump: cannot read the picture of %s back\n", item.name.c_str());
        return false;
    }
    for (D3DCOLOR& c : pixels) {
        c |= 0xFF000000u;
    }
    std::string why;
    if (!pngfile::writeArgbPng(path, width, height, pixels.data(), &why)) {
        std::fprintf(stderr, "meshdump: cannot write %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    return true;
}

// Draws a pool with the fixed-function pipeline, whatever shaders it carries.
void drawPlain(vertexbuffer& vb, const std::function<void()>& draw) {
    IDirect3DVertexShader9* vs = vb.vertexShader;
    IDirect3DPixelShader9* ps = vb.pixelShader;
    vb.vertexShader = nullptr;
    vb.pixelShader = nullptr;
    draw();
    vb.vertexShader = vs;
    vb.pixelShader = ps;
}

constexpr const char* kUsage = "usage: meshdump [--png] OUTDIR\n"
                               "  writes the generated meshes into OUTDIR as Wavefront OBJ files, or with --png\n"
                               "  draws each with one plain light as a 512 x 512 picture (needs shaders/ in the\n"
                               "  working folder: run it from build/ or the repository top)\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool pictures = argc == 3 && std::strcmp(argv[1], "--png") == 0;
    if (!(argc == 2 || pictures)) {
        return usage();
    }
    const std::string dir = argv[argc - 1];
    if (dir.empty() || dir[0] == '-') {
        return usage();
    }

    device* d = headless::makeFrameworkDevice(pictures ? kPictureSide : 64, pictures ? kPictureSide : 64);
    if (d == nullptr) {
        std::fprintf(stderr, "meshdump: no headless Direct3D 9 device\n");
        return 1;
    }

    std::vector<Dumped> out;
    genmesh generator(d, 0);

    auto cube = generator.createCube(2000, false, 1, false);
    out.push_back({"cube", dataOf(*cube), [&] {
                       identity(cube->world);
                       cube->draw();
                   }});

    auto sphere = generator.createSphere(4000, 1.0f, false, 1, false);
    out.push_back({"sphere", dataOf(*sphere), [&] {
                       identity(sphere->world);
                       sphere->draw();
                   }});

    // One signed ball in the middle of a 40^3 grid, at iso level 0.25.
    metamecklo ball(d, 40, 40, 40, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, true);
    ball.setIsoLevel(0.25f);
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    ball.addSignedBall(0.2f, 1.0f, middle);
    ball.clearBorders();
    ball.buildMesh();
    out.push_back({"ball", dataOf(ball), [&] {
                       identity(ball.world);
                       ball.drawMesh();
                   }});

    // One frame of the tube set at t = 5 from the generator's first state.
    metamecklo tubes(d, 40, 40, 40, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, true);
    tubes.setIsoLevel(0.5f);
    platform::crt::srand(1);
    tubes.initTubeSet();
    tubes.addTubeSet(5.0f, 0.0f, 0.1f, 1.0f, 1.0f);
    tubes.blurField();
    tubes.blurField();
    tubes.buildMesh();
    out.push_back({"tubes", dataOf(tubes), [&] {
                       identity(tubes.world);
                       tubes.drawMesh();
                   }});

    effects::BlobSculpture sculpture;
    sculpture.buildBlobSculpture(*d);
    metamecklo& sculptureField = *sculpture.sculpture();
    out.push_back({"sculpture", dataOf(sculptureField), [&] {
                       identity(sculptureField.world);
                       drawPlain(*sculptureField.vertices, [&] { sculptureField.drawMesh(); });
                   }});

    // The blob scene's frame at t = 5 s, its tube set drawn from the
    // generator's first state.
    effects::BlobScene scene;
    platform::crt::srand(1);
    scene.buildBlobScene(*d);
    {
        Matrix view{};
        Matrix projection{};
        lookAtUp(view, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -8.0f});
        perspective(projection, 0.8f);
        d->beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d->setView(view);
        d->setProjection(projection);
        scene.drawBlobScene(*d, 5.0f, dx::Vector4{0.0f, 0.0f, -8.0f, 1.0f}, nullptr, true, nullptr);
        d->endScene();
    }
    metamecklo& blobs = *scene.blobs();
    out.push_back({"blobscene", dataOf(blobs), [&] {
                       identity(blobs.world);
                       drawPlain(*blobs.vertices, [&] { blobs.drawMesh(); });
                   }});

    bool ok = true;
    for (const Dumped& item : out) {
        const std::string path = dir + "/" + item.name + (pictures ? ".png" : ".obj");
        const bool written = pictures ? drawPicture(*d, item, path) : writeObj(path, item.name, item.data);
        if (written) {
            std::printf("%s: %zu vertices, %zu triangles\n", path.c_str(), item.data.positions.size() / 3,
                        item.data.corners.size() / 3);
        }
        ok = written && ok;
    }
    return ok ? 0 : 1;
}
