#include "effects/particlefield.h"

#include "dx/dxindexbuffer.h"
#include "dx/dxmath.h"
#include "dx/dxvertexbuffer.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

float faceProximity = 0.0f;

namespace effects {

bool faceTestWide = IsProcessorFeaturePresent(PF_AVX2_INSTRUCTIONS_AVAILABLE) != FALSE;

} // namespace effects

namespace {

constexpr std::uint32_t kReservedParticles = 10000;
constexpr float kSheetHeight = 13.0f;
constexpr float kSheetWidth = 10.0f;
constexpr Vector3 kSphereCentre = {0.0f, 8.0f, 0.0f};
// Damped Verlet: n = kCarry p - kKeep q + F dt^2, kCarry = 1 + kKeep.
constexpr float kCarry = 1.99f;
constexpr float kKeep = 0.99f;
// A face hit closer than this along the direction of motion does not stop the particle.
constexpr float kHitAhead = 0.5f;
// Below this |det| the line runs parallel to the face.
constexpr float kParallel = 1e-8f;
// The stand-in length along x of a spring whose ends coincide.
constexpr float kZeroLengthStretch = 0.001f;
constexpr int kRelaxPasses = 2;

Vector3 xyz(const effects::Float4& v) {
    return {v.x, v.y, v.z};
}

Vector3 sub(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vector3 crossf(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// One damped Verlet move: the particle takes its new position (returned) and
// keeps the old one as its previous; d is the unit direction of travel.
Vector3 verletMove(Particle& me, float timeStepSquared, Vector3& d) {
    const Vector3 p = xyz(me.position);
    const Vector3 q = xyz(me.previous);
    const Vector3 n = {kCarry * p.x - kKeep * q.x + me.force.x * timeStepSquared,
                       kCarry * p.y - kKeep * q.y + me.force.y * timeStepSquared,
                       kCarry * p.z - kKeep * q.z + me.force.z * timeStepSquared};
    me.position = {n.x, n.y, n.z, 0.0f};
    me.previous = {p.x, p.y, p.z, 0.0f};
    normalize(sub(n, p), d);
    return n;
}

void addTo(effects::Float4& target, const Vector3& v) {
    target.x += v.x;
    target.y += v.y;
    target.z += v.z;
}

// Moeller-Trumbore line-triangle intersection without back-face culling and
// without a sign test on t: true with t when the line origin + t dir meets the
// triangle (v0, v1, v2).
bool lineHitsTriangle(const Vector3& origin, const Vector3& dir, const Vector3& v0, const Vector3& v1,
                      const Vector3& v2, float& t) {
    const Vector3 e1 = sub(v1, v0);
    const Vector3 e2 = sub(v2, v0);
    const Vector3 h = crossf(dir, e2);
    const float det = dot(e1, h);
    if (det > -kParallel && det < kParallel) {
        return false;
    }
    const float f = 1.0f / det;
    const Vector3 s = sub(origin, v0);
    const float u = f * dot(s, h);
    if (u < 0.0f || u > 1.0f) {
        return false;
    }
    const Vector3 q = crossf(s, e1);
    const float v = f * dot(dir, q);
    if (v < 0.0f || u + v > 1.0f) {
        return false;
    }
    t = f * dot(e2, q);
    return true;
}

// The collision test runs over blocks of eight groups of three faces, with
// the faces' corner and edges stored lane by lane: lane l of row j holds face
// j of group 8 b + l.
constexpr std::uint32_t kGroupsPerBlock = 8;

struct LaneRow {
    float x[kGroupsPerBlock];
    float y[kGroupsPerBlock];
    float z[kGroupsPerBlock];
};

struct FaceBlock {
    LaneRow v0[3];
    LaneRow e1[3];
    LaneRow e2[3];
};

// Lanes of floats and their comparison masks (GCC and Clang vector
// extensions): eight in one AVX register where the processor has AVX2, four
// in an SSE register otherwise (a block then takes two passes).
template <int kWidth> struct LaneTypes;
template <> struct LaneTypes<4> {
    typedef float Floats __attribute__((vector_size(16)));
    typedef std::int32_t Masks __attribute__((vector_size(16)));
};
template <> struct LaneTypes<8> {
    typedef float Floats __attribute__((vector_size(32)));
    typedef std::int32_t Masks __attribute__((vector_size(32)));
};
template <int kWidth> using Lanes = typename LaneTypes<kWidth>::Floats;
template <int kWidth> using Mask = typename LaneTypes<kWidth>::Masks;

// The helpers below are always inlined into the two callers; no real call
// passes these vectors, so GCC's note that 32-byte vectors are passed
// differently with and without AVX does not apply. It is silenced from here on.
#pragma GCC diagnostic ignored "-Wpsabi"

template <int kWidth> struct LaneVector {
    Lanes<kWidth> x;
    Lanes<kWidth> y;
    Lanes<kWidth> z;
};

template <int kWidth> [[gnu::always_inline]] inline bool anyLane(Mask<kWidth> m) {
    std::uint64_t pairs[kWidth / 2];
    std::memcpy(pairs, &m, sizeof pairs);
    std::uint64_t any = 0;
    for (const std::uint64_t p : pairs) {
        any |= p;
    }
    return any != 0;
}

// Lanes first to first + kWidth - 1 of a row (unaligned loads).
template <int kWidth> [[gnu::always_inline]] inline LaneVector<kWidth> load(const LaneRow& row, std::uint32_t first) {
    LaneVector<kWidth> v;
    std::memcpy(&v.x, row.x + first, sizeof v.x);
    std::memcpy(&v.y, row.y + first, sizeof v.y);
    std::memcpy(&v.z, row.z + first, sizeof v.z);
    return v;
}

template <int kWidth>
[[gnu::always_inline]] inline LaneVector<kWidth> subL(const LaneVector<kWidth>& a, const LaneVector<kWidth>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <int kWidth>
[[gnu::always_inline]] inline Lanes<kWidth> dotL(const LaneVector<kWidth>& a, const LaneVector<kWidth>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <int kWidth>
[[gnu::always_inline]] inline LaneVector<kWidth> crossL(const LaneVector<kWidth>& a, const LaneVector<kWidth>& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
template <int kWidth> [[gnu::always_inline]] inline LaneVector<kWidth> splat(const Vector3& v) {
    return {Lanes<kWidth>{} + v.x, Lanes<kWidth>{} + v.y, Lanes<kWidth>{} + v.z};
}

// True when one of the kWidth groups from lane first of the block is near
// (the one-sided test on its first corner) and the line origin + t dir meets
// one of its faces at t > kHitAhead: lineHitsTriangle lane by lane, with the
// same operations in the same order.
template <int kWidth>
[[gnu::always_inline]] inline bool blockHit(const FaceBlock& block, std::uint32_t first,
                                            const LaneVector<kWidth>& origin, const LaneVector<kWidth>& dir,
                                            float proximity) {
    const LaneVector<kWidth> toFirst = subL(load<kWidth>(block.v0[0], first), origin);
    const Mask<kWidth> near = (toFirst.x < proximity) & (toFirst.y < proximity) & (toFirst.z < proximity);
    if (!anyLane<kWidth>(near)) {
        return false;
    }
    Mask<kWidth> hit = Mask<kWidth>{};
    for (int j = 0; j < 3; ++j) {
        const LaneVector<kWidth> v0 = load<kWidth>(block.v0[j], first);
        const LaneVector<kWidth> e1 = load<kWidth>(block.e1[j], first);
        const LaneVector<kWidth> e2 = load<kWidth>(block.e2[j], first);
        const LaneVector<kWidth> h = crossL(dir, e2);
        const Lanes<kWidth> det = dotL(e1, h);
        const Lanes<kWidth> f = 1.0f / det;
        const LaneVector<kWidth> s = subL(origin, v0);
        const Lanes<kWidth> u = f * dotL(s, h);
        const LaneVector<kWidth> q = crossL(s, e1);
        const Lanes<kWidth> v = f * dotL(dir, q);
        const Lanes<kWidth> t = f * dotL(e2, q);
        hit |= ~((det > -kParallel) & (det < kParallel)) & ~((u < 0.0f) | (u > 1.0f)) & ~((v < 0.0f) | (u + v > 1.0f)) &
               (t > kHitAhead);
    }
    return anyLane<kWidth>(hit & near);
}

// With AVX2: a block at a time. No FMA is enabled: products and sums stay
// separately rounded, as in the plain loop.
AVX2_FUNCTION bool blocksHitWide(const std::vector<FaceBlock>& blocks, const Vector3& n, const Vector3& d,
                                 float proximity) {
    const LaneVector<8> origin = splat<8>(n);
    const LaneVector<8> dir = splat<8>(d);
    for (const FaceBlock& block : blocks) {
        if (blockHit<8>(block, 0, origin, dir, proximity)) {
            return true;
        }
    }
    return false;
}

// Without: each block in two halves.
bool blocksHitNarrow(const std::vector<FaceBlock>& blocks, const Vector3& n, const Vector3& d, float proximity) {
    const LaneVector<4> origin = splat<4>(n);
    const LaneVector<4> dir = splat<4>(d);
    for (const FaceBlock& block : blocks) {
        if (blockHit<4>(block, 0, origin, dir, proximity) || blockHit<4>(block, 4, origin, dir, proximity)) {
            return true;
        }
    }
    return false;
}

} // namespace

// The collision test of integrate over the faces' corners and edges, kept in
// blocks of eight groups so that eight groups are tested at once. Rebuilt when
// the particle or face count changes; every corner a particle's move changes
// is rewritten from the particles, so the test reads what the plain one reads.
struct particleField::CollisionCache {
    std::uint32_t particleCount = 0;
    std::uint32_t faceCount = 0;
    std::uint32_t groupCount = 0;
    std::vector<FaceBlock> blocks;
    // Tested faces having particle i as a corner: faceList[firstFace[i]] up to faceList[firstFace[i + 1]].
    std::vector<std::uint32_t> firstFace;
    std::vector<std::uint32_t> faceList;
};

particleField::particleField(device* ownerDevice)
    : gravity{0.0f, -150.82f, 0.0f}, timeStep(0.01f), timeStepSquared(0.0001f), owner(ownerDevice), sphereRadius(3.0f),
      texCoordsDone(false), wind{0.0f, 0.0f, 0.0f} {
    particles.reserve(kReservedParticles);
}

particleField::~particleField() = default;

std::uint32_t particleField::testedGroupCount() const {
    // Groups start at 0, 3, 6, ... below count - 3; the last, incomplete group is not tested.
    return faces.count > 3 ? (faces.count - 1) / 3 : 0;
}

void particleField::prepareCollision() {
    if (!collision) {
        collision = std::make_unique<CollisionCache>();
    }
    CollisionCache& cache = *collision;
    cache.particleCount = particles.count;
    cache.faceCount = faces.count;
    cache.groupCount = testedGroupCount();
    const std::uint32_t tested = 3 * cache.groupCount;
    const std::uint32_t blockCount = (cache.groupCount + kGroupsPerBlock - 1) / kGroupsPerBlock;
    // Lanes without a group get a first corner at infinity: never near.
    const float far = std::numeric_limits<float>::infinity();
    FaceBlock empty{};
    for (LaneRow& row : empty.v0) {
        std::fill(std::begin(row.x), std::end(row.x), far);
        std::fill(std::begin(row.y), std::end(row.y), far);
        std::fill(std::begin(row.z), std::end(row.z), far);
    }
    cache.blocks.assign(blockCount, empty);

    cache.firstFace.assign(particles.count + 1, 0);
    for (std::uint32_t f = 0; f < tested; ++f) {
        for (const std::uint32_t corner : {faces[f].a, faces[f].b, faces[f].c}) {
            ++cache.firstFace[corner + 1];
        }
    }
    for (std::uint32_t i = 0; i < particles.count; ++i) {
        cache.firstFace[i + 1] += cache.firstFace[i];
    }
    cache.faceList.assign(cache.firstFace[particles.count], 0);
    std::vector<std::uint32_t> filled(cache.firstFace.begin(), cache.firstFace.end() - 1);
    for (std::uint32_t f = 0; f < tested; ++f) {
        for (const std::uint32_t corner : {faces[f].a, faces[f].b, faces[f].c}) {
            cache.faceList[filled[corner]++] = f;
        }
    }
}

void particleField::refreshFace(std::uint32_t f) {
    const Face& face = faces[f];
    const Vector3 v0 = xyz(particles[face.a].position);
    const Vector3 e1 = sub(xyz(particles[face.b].position), v0);
    const Vector3 e2 = sub(xyz(particles[face.c].position), v0);
    const std::uint32_t group = f / 3;
    const std::uint32_t j = f % 3;
    FaceBlock& block = collision->blocks[group / kGroupsPerBlock];
    const std::uint32_t lane = group % kGroupsPerBlock;
    const auto put = [&](LaneRow& to, const Vector3& v) {
        to.x[lane] = v.x;
        to.y[lane] = v.y;
        to.z[lane] = v.z;
    };
    put(block.v0[j], v0);
    put(block.e1[j], e1);
    put(block.e2[j], e2);
}

void particleField::refreshFacesOf(std::uint32_t i) {
    const CollisionCache& cache = *collision;
    for (std::uint32_t at = cache.firstFace[i]; at < cache.firstFace[i + 1]; ++at) {
        refreshFace(cache.faceList[at]);
    }
}

bool particleField::movesIntoFace(const Vector3& n, const Vector3& d) const {
    return effects::faceTestWide ? blocksHitWide(collision->blocks, n, d, faceProximity)
                                 : blocksHitNarrow(collision->blocks, n, d, faceProximity);
}

void particleField::buildLattice(int n) {
    // Without a row of cells the spacing 10 / n has no value.
    if (n < 1) {
        return;
    }
    const std::uint32_t base = particles.count;
    const std::uint32_t side = static_cast<std::uint32_t>(n) + 1;
    const float s = kSheetWidth / static_cast<float>(n);
    faceProximity = 3.0f * s;
    texCoordsDone = false;
    const float h = (static_cast<float>(n) + 0.5f) * 0.5f;
    const float rowScale = s / std::sqrt(1.25f);

    for (std::uint32_t r = 0; r < side; ++r) {
        const float offset = r % 2 == 0 ? 0.25f : -0.25f;
        for (std::uint32_t k = 0; k < side; ++k) {
            Particle p{};
            p.position = {(static_cast<float>(k) + offset - h) * s, kSheetHeight,
                          (static_cast<float>(r) - h) * rowScale, 0.0f};
            p.previous = p.position;
            particles.append(p);
        }
    }

    const std::uint32_t last = side - 1;
    for (std::uint32_t r = 0; r < side; ++r) {
        for (std::uint32_t k = 0; k < side; ++k) {
            const std::uint32_t i = base + r * side + k;
            const std::uint32_t right = i + 1;
            const std::uint32_t below = i + side;
            const std::uint32_t belowRight = i + side + 1;
            const auto join = [&](std::uint32_t a, std::uint32_t b) { springs.append({a, b, s, 1.0f / s, s * s}); };
            if (k < last) {
                join(i, right);
            }
            if (r < last) {
                join(i, below);
            }
            if (r < last && k < last) {
                if (r % 2 == 0) {
                    join(i, belowRight);
                } else {
                    join(right, below);
                }
            }
        }
    }

    for (std::uint32_t r = 0; r < last; ++r) {
        for (std::uint32_t k = 0; k < last; ++k) {
            const std::uint32_t i = base + r * side + k;
            const std::uint32_t right = i + 1;
            const std::uint32_t below = i + side;
            const std::uint32_t belowRight = i + side + 1;
            const auto cover = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
                Face f{};
                f.a = a;
                f.b = b;
                f.c = c;
                faces.append(f);
            };
            if (r % 2 == 0) {
                cover(i, belowRight, below);
                cover(i, right, belowRight);
            } else {
                cover(i, right, belowRight);
                cover(i, belowRight, below);
            }
        }
    }
    prepareCollision();
}

void particleField::buildBuffers() {
    vertices = std::make_unique<vertexbuffer>(owner, static_cast<int>(particles.count), true, 1, false, true);
    indices = std::make_unique<indexbuffer>(owner, static_cast<int>(3 * faces.count));
    indices->setVertices(vertices.get());
    for (std::uint32_t f = 0; f < faces.count; ++f) {
        const Face& face = faces[f];
        const int at = static_cast<int>(3 * f);
        *indices->indexAt(at) = static_cast<std::uint16_t>(face.a);
        *indices->indexAt(at + 1) = static_cast<std::uint16_t>(face.b);
        *indices->indexAt(at + 2) = static_cast<std::uint16_t>(face.c);
    }
    indices->upload();
}

void particleField::updateMesh() {
    if (!vertices) {
        return;
    }
    // Particles appended after buildBuffers have no vertex until it is rerun.
    const int count = std::min(static_cast<int>(particles.count), vertices->vertexCount);
    for (int i = 0; i < count; ++i) {
        const Particle& p = particles[static_cast<std::uint32_t>(i)];
        float* position = vertices->position(i, false);
        position[0] = p.position.x;
        position[1] = p.position.y;
        position[2] = p.position.z;
        float* normal = vertices->normal(i, false);
        normal[0] = p.normalSum.x;
        normal[1] = p.normalSum.y;
        normal[2] = p.normalSum.z;
    }
    if (!texCoordsDone) {
        vertices->computeBounds();
        const float* lo = vertices->boxMin;
        const float* hi = vertices->boxMax;
        logVector3({lo[0], lo[1], lo[2]}, "min..");
        logVector3({hi[0], hi[1], hi[2]}, "max..");
        const float width = hi[0] - lo[0];
        const float depth = hi[2] - lo[2];
        for (int i = 0; i < count; ++i) {
            const float* position = vertices->position(i, false);
            // A sheet without extent along an axis gets coordinate 0 there instead of 0 / 0.
            *vertices->texCoord(0, i, false) = width > 0.0f ? (position[0] - lo[0]) / width : 0.0f;
            *vertices->texCoord(4, i, false) = depth > 0.0f ? (position[2] - lo[2]) / depth : 0.0f;
        }
        vertices->upload();
        texCoordsDone = true;
    }
    vertices->upload();
}

void particleField::draw() {
    if (!vertices || !indices) {
        return;
    }
    updateMesh();
    indices->draw();
}

void particleField::step() {
    accumulateForces();
    integrate();
    relax();
}

void particleField::accumulateForces() {
    Particle* p = particles.data();
    for (std::uint32_t i = 0; i < particles.count; ++i) {
        p[i].force = {gravity.x, gravity.y, gravity.z, 0.0f};
        p[i].normalSum = {0.0f, 0.0f, 0.0f, 0.0f};
    }
    for (std::uint32_t f = 0; f < faces.count; ++f) {
        Face& face = faces[f];
        const Vector3 pa = xyz(p[face.a].position);
        cross(sub(xyz(p[face.b].position), pa), face.normal, sub(xyz(p[face.c].position), pa));
        normalize(face.normal, face.unitNormal);
        const Vector3 w = {wind.x * face.normal.x * face.unitNormal.x, wind.y * face.normal.y * face.unitNormal.y,
                           wind.z * face.normal.z * face.unitNormal.z};
        for (const std::uint32_t corner : {face.a, face.b, face.c}) {
            addTo(p[corner].force, w);
            addTo(p[corner].normalSum, face.unitNormal);
        }
    }
}

void particleField::integrate() {
    if (!collision || collision->particleCount != particles.count || collision->faceCount != faces.count) {
        prepareCollision();
    }
    const std::uint32_t tested = 3 * collision->groupCount;
    for (std::uint32_t f = 0; f < tested; ++f) {
        refreshFace(f);
    }
    Particle* particle = particles.data();
    for (std::uint32_t i = 0; i < particles.count; ++i) {
        Particle& me = particle[i];
        Vector3 d;
        const Vector3 n = verletMove(me, timeStepSquared, d);
        refreshFacesOf(i);
        if (movesIntoFace(n, d)) {
            me.position = me.previous;
            refreshFacesOf(i);
        }
    }
}

void particleField::integratePlain() {
    const std::uint32_t tested = 3 * testedGroupCount();
    Particle* particle = particles.data();
    const Face* face = faces.data();
    const float proximity = faceProximity;
    for (std::uint32_t i = 0; i < particles.count; ++i) {
        Particle& me = particle[i];
        Vector3 d;
        const Vector3 n = verletMove(me, timeStepSquared, d);

        bool blocked = false;
        for (std::uint32_t g = 0; g < tested && !blocked; g += 3) {
            const effects::Float4& v = particle[face[g].a].position;
            if (!(v.x - n.x < proximity && v.y - n.y < proximity && v.z - n.z < proximity)) {
                continue;
            }
            for (std::uint32_t j = g; j < g + 3; ++j) {
                float t = 0.0f;
                if (lineHitsTriangle(n, d, xyz(particle[face[j].a].position), xyz(particle[face[j].b].position),
                                     xyz(particle[face[j].c].position), t) &&
                    t > kHitAhead) {
                    blocked = true;
                    break;
                }
            }
        }
        if (blocked) {
            me.position = me.previous;
        }
    }
}

void particleField::relax() {
    Particle* particle = particles.data();
    const float radiusSquared = sphereRadius * sphereRadius;
    for (int pass = 0; pass < kRelaxPasses; ++pass) {
        for (std::uint32_t i = 0; i < springs.count; ++i) {
            const Spring& spring = springs[i];
            effects::Float4& pa = particle[spring.a].position;
            effects::Float4& pb = particle[spring.b].position;
            Vector3 delta = {pb.x - pa.x, pb.y - pa.y, pb.z - pa.z};
            if (delta.x == 0.0f && delta.y == 0.0f && delta.z == 0.0f) {
                delta.x = kZeroLengthStretch;
            }
            float denominator = dot(delta, delta) + spring.restSquared;
            if (denominator == 0.0f) {
                denominator = kZeroLengthStretch;
            }
            const float k = spring.restSquared / denominator - 0.5f;
            const Vector3 move = {k * delta.x, k * delta.y, k * delta.z};
            pa.x -= move.x;
            pa.y -= move.y;
            pa.z -= move.z;
            pb.x += move.x;
            pb.y += move.y;
            pb.z += move.z;
        }
        for (std::uint32_t i = 0; i < particles.count; ++i) {
            effects::Float4& position = particle[i].position;
            const Vector3 offset = sub(xyz(position), kSphereCentre);
            if (dot(offset, offset) >= radiusSquared) {
                continue;
            }
            Vector3 out;
            normalize(offset, out);
            // At the very centre there is no radial direction: leave by the top.
            if (out.x == 0.0f && out.y == 0.0f && out.z == 0.0f) {
                out.y = 1.0f;
            }
            position.x = out.x * sphereRadius + kSphereCentre.x;
            position.y = out.y * sphereRadius + kSphereCentre.y;
            position.z = out.z * sphereRadius + kSphereCentre.z;
        }
    }
}
