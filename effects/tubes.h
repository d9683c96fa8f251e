// The growing tunnel: a head moves like a turtle, turning by small angles and
// moving 4 units forward every simulation step, and lays down one more segment
// of a square tunnel and of four thin tubes along the tunnel's inner corners.
// The last 45 segments are kept; the camera rides near the oldest of them and
// looks along the tunnel toward the head.
//
// The constructor builds the data (initTubes); createTubes makes the vertex
// pools and their shaders at start-up; drawTubes runs once per frame and
// allocates nothing of its own. Main thread only.
#pragma once

#include "dx/dxmath.h"
#include "platform/d3d9/d3d9.h"

#include <array>
#include <memory>

class device;
class vertexbuffer;

namespace effects {

inline constexpr int kTubeRingRecords = 5;  // four corners and the first again, closing the texture
inline constexpr int kThinTubes = 4;        // one along each inner corner
inline constexpr int kTrailSegments = 45;   // segments kept, newest last
inline constexpr int kSegmentVertices = 24; // four quads of two triangles
inline constexpr int kTrailVertices = kTrailSegments * kSegmentVertices;
inline constexpr float kTubeStep = 0.05f; // simulation step in scene units (0.3 per second)

// One vertex of a ring or a trail: 32 bytes.
struct TubeVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
static_assert(sizeof(TubeVertex) == 32);

using TubeRing = std::array<TubeVertex, kTubeRingRecords>;
using TubeTrail = std::array<TubeVertex, kTrailVertices>;

class Tubes {
  public:
    // Runs initTubes.
    Tubes();
    ~Tubes();
    Tubes(const Tubes&) = delete;
    Tubes& operator=(const Tubes&) = delete;

    // Template ring, both ring buffers seeded, head and history at identity,
    // then 46 steps turning by (0.01, 0, 0) so the tunnel extends ahead.
    void initTubes();
    // The tunnel pool and the four tube pools (1,080 vertices each), the tube
    // pools' shaders from "shaders/vshader_mojs2.vhl" and "shaders/pshader_mojs2.phl",
    // and all five filled from their trails. Raises when a shader file does not compile.
    void createTubes(device& d);
    // One step: turn by (turnA, turnB, turnC), move 4 along the new z axis,
    // place the new rings and append one segment to every trail. `width`
    // scales a pulsing of the radius whose factor is zero.
    void stepTubes(float turnA, float turnB, float turnC, float width);
    // Advances the simulation in steps of kTubeStep up to 0.3 x sceneTime
    // (never back), refilling the pools after each step, and draws the tunnel
    // and the tubes with `texture` on stage 0 (none when null). Loads the
    // tunnel's shader pair from "shaders/vshader_mojs.vhl" and
    // "shaders/pshader_mojs.phl" every frame. Leaves world = identity, the
    // view and projection of the camera, and lighting off.
    void drawTubes(float sceneTime, device& d, IDirect3DBaseTexture9* texture);

    const TubeRing& ringTemplate() const { return template_; }
    // Head frames, oldest first, newest (the current head) last.
    const std::array<Matrix, kTrailSegments>& history() const { return history_; }
    const Matrix& head() const { return history_[kTrailSegments - 1]; }
    const TubeTrail& tunnelTrail() const { return trails_[0]; }
    const TubeTrail& tubeTrail(int tube) const { return trails_[static_cast<std::size_t>(tube) + 1]; }
    int stepCount() const { return steps_; }
    float simTime() const { return simTime_; }
    float phase() const { return phase_; }
    vertexbuffer* tunnelPool() const { return pools_[0].get(); }
    vertexbuffer* tubePool(int tube) const { return pools_[static_cast<std::size_t>(tube) + 1].get(); }

  private:
    // A tunnel ring and the four thin-tube rings placed at one step.
    struct RingSet {
        TubeRing tunnel;
        std::array<TubeRing, kThinTubes> tubes;
    };

    void refillPools();
    void placeRings(RingSet& rings, const Matrix& frame) const;

    TubeRing template_{};
    std::array<RingSet, 2> rings_{};
    // Index into rings_ of the set placed last; the other is the one before it.
    int newest_ = 0;
    float angleA_ = 0.0f;
    float angleB_ = 0.0f;
    float angleC_ = 0.0f;
    Vector3 position_{};
    float phase_ = 0.0f;
    int steps_ = 0;
    float simTime_ = 0.0f;
    std::array<Matrix, kTrailSegments> history_{};
    // Trail 0 is the tunnel, 1 to 4 the thin tubes.
    std::array<TubeTrail, kThinTubes + 1> trails_{};
    std::array<std::unique_ptr<vertexbuffer>, kThinTubes + 1> pools_;
};

} // namespace effects
