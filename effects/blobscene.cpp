#include "effects/blobscene.h"

#include "dx/dxvertexbuffer.h"
#include "geometry/genmesh.h"
#include "geometry/metamecklo.h"
#include "platform/kernel/kernel.h"

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

namespace effects {

namespace {

constexpr int kSphereBudget = 2000;
constexpr int kRoughStride = 13;
constexpr int kBlobCells = 40;
constexpr float kBlobWorld = 5.0f;
constexpr float kBlobIsoLevel = 0.5f;
constexpr float kSphereScale = 2.6f;
constexpr float kCopyScale = 0.25f;
constexpr int kCopies = 2;
constexpr float kLightHeight = 10.0f;
constexpr float kCopyLightHeight = 2.5f;
constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};

// Numerical Recipes' 32-bit linear congruential step; the wrap modulo 2^32 is
// the unsigned overflow.
std::uint32_t nextSeed(std::uint32_t seed) {
    return seed * 1664525u + 1013904223u;
}

// The low 23 bits of the seed as the mantissa of a float in [1, 2), minus 1.
float unitFromSeed(std::uint32_t seed) {
    return std::bit_cast<float>(0x3F800000u | (seed & 0x007FFFFFu)) - 1.0f;
}

D3DLIGHT9 pointLight() {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {0.4f, 1.0f, 0.4f, 1.0f};
    light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Range = std::sqrt(std::numeric_limits<float>::max());
    light.Falloff = 0.0f;
    light.Attenuation0 = 1.1f;
    return light;
}

void placeLights(device& d, float height) {
    D3DLIGHT9 light = pointLight();
    light.Position = {0.0f, height, 0.0f};
    d.d3dDevice->SetLight(0, &light);
    light.Position = {0.0f, -height, 0.0f};
    d.d3dDevice->SetLight(1, &light);
}

} // namespace

BlobScene::BlobScene() = default;
BlobScene::~BlobScene() = default;

void BlobScene::buildBlobScene(device& d) {
    generator_ = std::make_unique<genmesh>(&d, 1000);
    sphereA_ = generator_->createSphere(kSphereBudget, 1.0f, true, 1, false);
    sphereB_ = generator_->createSphere(kSphereBudget, 1.0f, true, 1, false);
    generator_->computeNormals(*sphereA_, false);
    generator_->computeNormals(*sphereB_, false);

    vertexbuffer& rough = *sphereA_->vertices;
    for (int i = 0; i < rough.vertexCount; i += kRoughStride) {
        seed_ = nextSeed(seed_);
        const float r = unitFromSeed(seed_);
        float* p = rough.position(i, false);
        const float* n = rough.normal(i, false);
        p[0] += r * n[0];
        p[1] += r * n[1];
        p[2] += r * n[2];
    }
    generator_->computeNormals(*sphereA_, false);
    sphereA_->vertices->upload();
    sphereB_->vertices->upload();

    blobs_ = std::make_unique<metamecklo>(&d, kBlobCells, kBlobCells, kBlobCells, kBlobWorld, kBlobWorld, kBlobWorld,
                                          2.5f, 2.5f, 2.5f, true);
    blobs_->setIsoLevel(kBlobIsoLevel);
    blobs_->initTubeSet();

    vertexbuffer& blobPool = *blobs_->vertices;
    blobPool.vertexShader = d.compileVertexShader("shaders/vshader_mojs2.vhl", "main", "vs_2_0");
    blobPool.pixelShader = d.compilePixelShader("shaders/pshader_mojs2.phl", "main", "ps_2_0");
    sphereA_->vertices->vertexShader = nullptr;
    sphereA_->vertices->pixelShader = nullptr;
    sphereB_->vertices->vertexShader = d.compileVertexShader("shaders/vshader_mojs.vhl", "main", "vs_2_0");
    sphereB_->vertices->pixelShader = d.compilePixelShader("shaders/pshader_mojs.phl", "main", "ps_2_0");
}

void BlobScene::drawBlobScene(device& d, float t, dx::Vector4 camera, IDirect3DBaseTexture9*, bool useShaders,
                              IDirect3DBaseTexture9* surfaceTexture) {
    if (!blobs_) {
        return; // buildBlobScene has not run: nothing to draw with
    }
    mesh& sphere = useShaders ? *sphereA_ : *sphereB_;
    metamecklo& blobs = *blobs_;
    IDirect3DDevice9* dev = d.d3dDevice;

    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP);

    blobs.addTubeSet(t, 0.0f, 0.1f, 1.0f, 1.0f);
    blobs.blurField();
    blobs.blurField();
    blobs.buildMesh();
    rotationXYZ(blobs.world, 0.0f, std::numbers::pi_v<float> / 2.0f, 0.0f);

    d.setAlphaBlend(false);
    d.blendMultiply();
    d.setLighting(false);
    setShaderConstants(d, camera, kWhite, &blobs.world);
    d.cullNone();
    blobs.drawMesh();

    d.setAlphaBlend(true);
    d.blendAdd();

    dev->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    dev->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    d.useFixedFunction();
    d.setLighting(true);
    placeLights(d, kLightHeight);
    dev->LightEnable(0, TRUE);
    dev->LightEnable(1, TRUE);
    d.setZWrite(false);

    // The spin follows the tick count, not the scene time.
    const DWORD ms = GetTickCount();
    rotationXYZ(sphere.world, 0.0f, static_cast<float>(ms) * 0.001f, 0.0f);
    scaleRows(sphere.world, kSphereScale, kSphereScale, kSphereScale);

    // Without shaders the sphere needs the surface texture to be seen at all.
    const auto sphereShows = [&] {
        if (useShaders) {
            setShaderConstants(d, camera, kWhite, &sphere.world);
            return true;
        }
        d.setRawTexture(0, surfaceTexture);
        return surfaceTexture != nullptr;
    };
    if (sphereShows()) {
        // Back faces first, then the front faces over them.
        d.cullClockwise();
        sphere.draw();
        d.cullCounterClockwise();
        sphere.draw();
    }

    for (int copy = 0; copy < kCopies; ++copy) {
        d.setZWrite(false);
        placeLights(d, kCopyLightHeight);
        scaleRows(sphere.world, kCopyScale, kCopyScale, kCopyScale);
        d.setAlphaBlend(true);
        d.blendScreen();
        d.cullCounterClockwise();
        if (sphereShows()) {
            sphere.draw();
        }
        d.setAlphaBlend(false);
        d.setZWrite(true);

        scaleRows(blobs.world, kCopyScale, kCopyScale, kCopyScale);
        setShaderConstants(d, camera, kWhite, &blobs.world);
        d.cullCounterClockwise();
        d.setLighting(false);
        blobs.drawMesh();
    }
}

} // namespace effects
