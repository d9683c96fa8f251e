// The blob scene: a field of soft tubes polygonised every frame and drawn with
// a shader pair, around a rotating sphere lit by two point lights, then drawn
// twice more at a quarter of the previous size with a screen blend, so that
// smaller copies sit inside the larger one.
//
// buildBlobScene runs once at start-up; drawBlobScene once per frame inside a
// scene that has already begun on its target and set the camera. Main thread
// only; a frame allocates nothing.
#pragma once

#include "dx/dxdevice.h"
#include "dx/dxmath.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <memory>

class genmesh;
class mesh;
class metamecklo;

namespace effects {

// The roughening generator's state before its first step.
inline constexpr std::uint32_t kRougheningSeed = 0x12345678u;

class BlobScene {
  public:
    BlobScene();
    ~BlobScene();
    BlobScene(const BlobScene&) = delete;
    BlobScene& operator=(const BlobScene&) = delete;

    // The generator, the two spheres (A roughened, B with the mojs shaders),
    // the 40^3 compact blobs at iso level 0.5 with their tube set and shaders.
    // Raises when a shader file is missing or does not compile.
    void buildBlobScene(device& d);

    // One frame at scene time t. `ignoredTexture` is not read. With
    // `useShaders` sphere A is drawn through the shader constants, otherwise
    // sphere B textured with `surfaceTexture` (not drawn when that is null).
    void drawBlobScene(device& d, float t, dx::Vector4 camera, IDirect3DBaseTexture9* ignoredTexture, bool useShaders,
                       IDirect3DBaseTexture9* surfaceTexture);

    mesh* sphereA() const { return sphereA_.get(); }
    mesh* sphereB() const { return sphereB_.get(); }
    metamecklo* blobs() const { return blobs_.get(); }
    // The roughening generator's state after the last vertex it moved.
    std::uint32_t roughSeed() const { return seed_; }

  private:
    std::unique_ptr<genmesh> generator_;
    std::unique_ptr<mesh> sphereA_;
    std::unique_ptr<mesh> sphereB_;
    std::unique_ptr<metamecklo> blobs_;
    std::uint32_t seed_ = kRougheningSeed;
};

} // namespace effects
