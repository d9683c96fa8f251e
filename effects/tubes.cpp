#include "effects/tubes.h"

#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace effects {

namespace {

constexpr int kPoolCount = kThinTubes + 1;
constexpr int kInitialSteps = 46;
constexpr float kTemplateRadius = 6.0f;
constexpr float kTunnelScale = 2.8f; // radius 16.8
constexpr float kTubeOffset = 15.12f;
constexpr float kTubeScale = 0.6f; // radius 3.6
constexpr float kStepLength = 4.0f;
constexpr float kPhaseStep = 0.4f;
constexpr float kTunnelU = 0.2f;
constexpr float kTubeU = 0.4f;
constexpr float kFieldOfView = 2.0943952f; // 120 degrees
constexpr float kTunnelColour[4] = {1.0f, 0.0f, 1.0f, 1.0f};
constexpr float kNoAmbient[4] = {0.0f, 0.0f, 0.0f, 0.0f};

Vector3 transformed(float x, float y, float z, const Matrix& frame) {
    Vector3 out;
    transformPoint({x, y, z}, out, frame);
    return out;
}

void setPoint(TubeVertex& v, const Vector3& p) {
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
}

void setNormal(TubeVertex& v, const Vector3& n) {
    v.nx = n.x;
    v.ny = n.y;
    v.nz = n.z;
}

float cube(float x) {
    return x * x * x;
}

Vector3 positionOf(const Matrix& m) {
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

Vector3 lerp(const Vector3& a, const Vector3& b, float u) {
    return {a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u, a.z + (b.z - a.z) * u};
}

// Appends the four quads joining ring `from` to ring `to`, two triangles each.
// The tunnel is seen from inside, the tubes from outside: opposite windings.
void writeSegment(TubeVertex* out, const TubeRing& from, const TubeRing& to, bool seenFromInside) {
    for (int k = 0; k < 4; ++k) {
        const TubeVertex& o0 = from[static_cast<std::size_t>(k)];
        const TubeVertex& o1 = from[static_cast<std::size_t>(k) + 1];
        const TubeVertex& n0 = to[static_cast<std::size_t>(k)];
        const TubeVertex& n1 = to[static_cast<std::size_t>(k) + 1];
        if (seenFromInside) {
            *out++ = o0;
            *out++ = n0;
            *out++ = n1;
            *out++ = n1;
            *out++ = o1;
            *out++ = o0;
        } else {
            *out++ = n1;
            *out++ = n0;
            *out++ = o0;
            *out++ = o0;
            *out++ = o1;
            *out++ = n1;
        }
    }
}

void appendSegment(TubeTrail& trail, const TubeRing& from, const TubeRing& to, bool seenFromInside) {
    // One block copy moves the 44 younger segments to the front.
    std::memmove(trail.data(), trail.data() + kSegmentVertices,
                 sizeof(TubeVertex) * static_cast<std::size_t>(kTrailVertices - kSegmentVertices));
    writeSegment(trail.data() + kTrailVertices - kSegmentVertices, from, to, seenFromInside);
}

void fillPool(vertexbuffer& pool, const TubeTrail& trail) {
    for (int i = 0; i < kTrailVertices; ++i) {
        const TubeVertex& v = trail[static_cast<std::size_t>(i)];
        float* p = pool.position(i, false);
        p[0] = v.x;
        p[1] = v.y;
        p[2] = v.z;
        float* n = pool.normal(i, false);
        n[0] = v.nx;
        n[1] = v.ny;
        n[2] = v.nz;
        float* t = pool.texCoord(0, i, false);
        t[0] = v.u;
        t[1] = v.v;
        t[2] = 0.0f;
    }
    pool.upload();
}

} // namespace

Tubes::Tubes() {
    initTubes();
}

Tubes::~Tubes() = default;

void Tubes::initTubes() {
    for (int k = 0; k < kTubeRingRecords; ++k) {
        // Record 4 closes the ring at record 0's place with its own v.
        const double a = (k % 4) * std::numbers::pi / 2.0;
        const auto c = static_cast<float>(std::cos(a));
        const auto s = static_cast<float>(std::sin(a));
        template_[static_cast<std::size_t>(k)] = TubeVertex{
            kTemplateRadius * c, kTemplateRadius * s, 0.0f, -c, -s, 0.0f, 0.0f, 1.25f * static_cast<float>(k)};
    }
    for (RingSet& set : rings_) {
        set.tunnel = template_;
        for (TubeRing& tube : set.tubes) {
            tube = template_;
            for (TubeVertex& v : tube) {
                v.v *= kTubeScale;
            }
        }
    }
    Matrix unit;
    identity(unit);
    history_.fill(unit);
    for (int i = 0; i < kInitialSteps; ++i) {
        stepTubes(0.01f, 0.0f, 0.0f, 2.0f);
    }
}

void Tubes::placeRings(RingSet& rings, const Matrix& frame) const {
    for (int k = 0; k < kTubeRingRecords; ++k) {
        const TubeVertex& t = template_[static_cast<std::size_t>(k)];
        TubeVertex& v = rings.tunnel[static_cast<std::size_t>(k)];
        v = t;
        // The normal stream holds the template normal moved as a point, like
        // the position: frame position plus the turned normal. The shaders
        // take the direction from the vertex to that point.
        setPoint(v, transformed(t.x * kTunnelScale, t.y * kTunnelScale, t.z, frame));
        setNormal(v, transformed(t.nx, t.ny, t.nz, frame));
        v.u = kTunnelU * phase_;

        for (int j = 0; j < kThinTubes; ++j) {
            const double around = j * std::numbers::pi / 2.0;
            const float cx = kTubeOffset * static_cast<float>(std::sin(around));
            const float cy = kTubeOffset * static_cast<float>(std::cos(around));
            const float x = cx + kTubeScale * t.x;
            const float y = cy + kTubeScale * t.y;
            TubeVertex& w = rings.tubes[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
            setPoint(w, transformed(x, y, t.z, frame));
            // Seen from outside, a tube's normal points away from its own axis:
            // the point one unit out from the vertex, moved like the vertex.
            setNormal(w, transformed(x - t.nx, y - t.ny, t.z - t.nz, frame));
            w.u = kTubeU * phase_;
        }
    }
}

void Tubes::stepTubes(float turnA, float turnB, float turnC, float width) {
    angleA_ += turnA;
    angleB_ += turnB;
    angleC_ += turnC;
    std::copy(history_.begin() + 1, history_.end(), history_.begin());

    Matrix frame;
    rotationXYZ(frame, angleA_, angleB_, angleC_);
    // The translation part of (translation by 4 along z) x R: 4 x R's z row.
    position_.x += kStepLength * frame.m[2][0];
    position_.y += kStepLength * frame.m[2][1];
    position_.z += kStepLength * frame.m[2][2];
    frame.m[3][0] = position_.x;
    frame.m[3][1] = position_.y;
    frame.m[3][2] = position_.z;
    history_[kTrailSegments - 1] = frame;

    newest_ = 1 - newest_;
    ++steps_;

    // The radius once pulsed with the phase; the pulse's factor is zero.
    static_cast<void>(width);
    RingSet& placed = rings_[static_cast<std::size_t>(newest_)];
    const RingSet& before = rings_[static_cast<std::size_t>(1 - newest_)];
    placeRings(placed, frame);
    phase_ += kPhaseStep;

    appendSegment(trails_[0], before.tunnel, placed.tunnel, true);
    for (int j = 0; j < kThinTubes; ++j) {
        appendSegment(trails_[static_cast<std::size_t>(j) + 1], before.tubes[static_cast<std::size_t>(j)],
                      placed.tubes[static_cast<std::size_t>(j)], false);
    }
}

void Tubes::createTubes(device& d) {
    for (int p = 0; p < kPoolCount; ++p) {
        pools_[static_cast<std::size_t>(p)] = std::make_unique<vertexbuffer>(&d, kTrailVertices, true, 1, false, true);
    }
    for (int j = 1; j < kPoolCount; ++j) {
        vertexbuffer& pool = *pools_[static_cast<std::size_t>(j)];
        pool.vertexShader = d.compileVertexShader("shaders/vshader_mojs2.vhl", "main", "vs_2_0");
        pool.pixelShader = d.compilePixelShader("shaders/pshader_mojs2.phl", "main", "ps_2_0");
    }
    refillPools();
}

void Tubes::refillPools() {
    for (int p = 0; p < kPoolCount; ++p) {
        if (pools_[static_cast<std::size_t>(p)] != nullptr) {
            fillPool(*pools_[static_cast<std::size_t>(p)], trails_[static_cast<std::size_t>(p)]);
        }
    }
}

void Tubes::drawTubes(float sceneTime, device& d, IDirect3DBaseTexture9* texture) {
    const float s = 0.3f * sceneTime;
    const float g = std::min(s, 1.0f); // the turning fades in

    Matrix unit;
    identity(unit);
    d.setWorld(unit);

    if (simTime_ + kTubeStep < s) {
        const float k1 = cube(1.8f * std::sin(2.2f * s)) * g * 0.03f;
        const float k2 = cube(1.5f * std::sin(0.9f * s)) * g * 0.02f;
        const float k3 = 2.0f * std::sin(5.7f * s) * g * 0.05f;
        while (simTime_ + kTubeStep < s) {
            stepTubes(k3, k1, k2, 2.0f);
            simTime_ += kTubeStep;
            refillPools();
        }
    }

    // The camera moves between history frames 1 and 2, looking from between
    // 2 and 3, by the fraction of the step in progress.
    const float u = std::fmod(s, kTubeStep) * 20.0f;
    const Vector3 p1 = positionOf(history_[1]);
    const Vector3 p2 = positionOf(history_[2]);
    const Vector3 p3 = positionOf(history_[3]);
    Vector3 eye = lerp(p1, p2, u);
    eye.x += std::sin(s);
    const Vector3 target = lerp(p2, p3, u);
    Matrix view = d.view;
    lookAtUp(view, target, eye);
    d.setView(view);
    Matrix projection;
    perspective(projection, kFieldOfView);
    d.setProjection(projection);

    if (pools_[0] == nullptr) {
        return; // createTubes has not run: nothing to draw with
    }
    vertexbuffer& tunnel = *pools_[0];
    IDirect3DVertexShader9* const lastVertexShader = tunnel.vertexShader;
    IDirect3DPixelShader9* const lastPixelShader = tunnel.pixelShader;
    tunnel.vertexShader = d.compileVertexShader("shaders/vshader_mojs.vhl", "main", "vs_2_0");
    tunnel.pixelShader = d.compilePixelShader("shaders/pshader_mojs.phl", "main", "ps_2_0");

    IDirect3DDevice9* dev = d.d3dDevice;
    const Matrix& wvp = d.worldViewProjection();
    dev->SetVertexShaderConstantF(0, &wvp.m[0][0], 4);
    dev->SetVertexShaderConstantF(4, &unit.m[0][0], 4);
    dev->SetVertexShaderConstantF(8, &unit.m[0][0], 4);
    // The camera term is the view's translation row, as the shaders were made for.
    const float camera[4] = {view.m[3][0], view.m[3][1], view.m[3][2], 0.0f};
    dev->SetVertexShaderConstantF(12, camera, 1);
    dev->SetVertexShaderConstantF(13, kTunnelColour, 1);
    dev->SetPixelShaderConstantF(0, kNoAmbient, 1);

    d.setRawTexture(0, texture);
    d.setLighting(false);
    for (const auto& pool : pools_) {
        pool->drawTriangles(-1);
    }
    // The pair made for the last frame is bound nowhere now that the pools
    // behind the tunnel have set theirs; without this, every frame leaks one.
    if (lastVertexShader != nullptr && lastVertexShader != tunnel.vertexShader) {
        lastVertexShader->Release();
    }
    if (lastPixelShader != nullptr && lastPixelShader != tunnel.pixelShader) {
        lastPixelShader->Release();
    }
}

} // namespace effects
