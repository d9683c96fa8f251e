#include "effects/blobsculpture.h"

#include "dx/dxmath.h"
#include "dx/dxvertexbuffer.h"
#include "geometry/metamecklo.h"
#include "resources/shaders/shaderprograms.h"

#include <cmath>

namespace effects {

namespace {

constexpr int kCells = 100;
constexpr float kWorld = 5.0f;
constexpr float kIsoLevel = 0.1f;
constexpr float kHelixBallRadius = 0.00225f;
constexpr float kHelixBallStrength = 25.0f;
constexpr float kHelixStart = 0.1f;
constexpr float kHelixStep = 0.0025f;
constexpr float kHelixEnd = 0.9f;
constexpr int kBlurs = 7;
constexpr float kSpinOffset = 0.01f;
constexpr float kRimColour[4] = {1.0f, 0.0f, 1.0f, 1.0f};
constexpr float kAmbient[4] = {0.0f, 1.0f, 0.0f, 0.0f};

} // namespace

BlobSculpture::BlobSculpture() = default;
BlobSculpture::~BlobSculpture() = default;

void BlobSculpture::buildBlobSculpture(device& d) {
    sculpture_ =
        std::make_unique<metamecklo>(&d, kCells, kCells, kCells, kWorld, kWorld, kWorld, 2.5f, 2.5f, 2.5f, false);
    metamecklo& field = *sculpture_;
    field.setIsoLevel(kIsoLevel);

    // Three pairs of helices, one pair along each axis; each round places one
    // ball on every helix. The loop's test adds in double precision before
    // the sum is stored back as a float.
    balls_ = 0;
    float t = kHelixStart;
    bool another = true;
    while (another) {
        const float a = 20.0f * t;
        const float h = 0.2f * std::sin(a) + 0.5f;
        const float k = 0.1f * std::cos(a) + 0.5f;
        const float centres[6][3] = {{t, h, h}, {h, t, h}, {h, h, t}, {t, k, k}, {k, t, k}, {k, k, t}};
        for (const float* centre : centres) {
            field.addSignedBall(kHelixBallRadius, kHelixBallStrength, centre);
            ++balls_;
        }
        const double sum = static_cast<double>(t) + static_cast<double>(kHelixStep);
        another = sum < static_cast<double>(kHelixEnd);
        t = static_cast<float>(sum);
    }
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    field.addBall(0.133f, 20.0f, middle);

    field.clearBorders();
    for (int i = 0; i < kBlurs; ++i) {
        field.blurField();
    }
    field.buildMesh();
    field.vertices->createBuffers();
    field.vertices->upload();
    // The sculpture is polygonised once: its triangle list (12 MB, most of it
    // written) is not needed again, and the pool keeps the mesh.
    dx::LazyZeroArray<TriangleRecord>().swap(field.triangleBuffer);

    vertexbuffer& pool = *field.vertices;
    if (d.caps.VertexShaderVersion >= D3DVS_VERSION(2, 0) && d.caps.PixelShaderVersion >= D3DPS_VERSION(2, 0)) {
        pool.vertexShader = d.createVertexShaderFromCode(resources::kRimVertexProgram);
        pool.pixelShader = d.createPixelShaderFromCode(resources::kRimPixelProgram);
    } else {
        pool.vertexShader = d.createVertexShaderFromCode(resources::kFallbackVertexProgram);
        pool.pixelShader = d.createPixelShaderFromCode(resources::kFallbackPixelProgram);
    }
}

void BlobSculpture::drawBlobSculpture(device& d, float t, dx::Vector4 cameraPosition, float) {
    if (!sculpture_) {
        return;
    }
    metamecklo& field = *sculpture_;
    d.resetStages();
    d.d3dDevice->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    identity(field.world);

    Matrix spin{};
    rotationXYZ(spin, t + kSpinOffset, 0.0f, t + kSpinOffset);
    d.cullNone();
    // The rim constants of the turned sculpture, then this effect's ambient.
    setShaderConstants(d, cameraPosition, kRimColour, &spin);
    d.d3dDevice->SetPixelShaderConstantF(0, kAmbient, 1);

    d.setLighting(false);
    field.drawMesh();
}

} // namespace effects
