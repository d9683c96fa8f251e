// The cloth sheet of scene 1: a triangular lattice of particles joined by
// distance constraints ("springs") and covered by triangles, moved by damped
// Verlet steps under gravity and wind, against a sphere and its own faces,
// and mirrored into a dynamic vertex pool and an index pool for drawing.
//
// Ownership: the field owns its three arrays and the two pools it makes in
// buildBuffers. Construction, buildLattice and buildBuffers allocate; step,
// updateMesh and draw do not.
#pragma once

#include "dx/vector3.h"

#include <algorithm>
#include <cstdint>
#include <memory>

class device;
class indexbuffer;
class vertexbuffer;

namespace effects {

// A growable array of plain elements. New storage is value-initialised (all
// bytes zero). append grows the storage one element before it is full.
template <typename T> class GrowableArray {
  public:
    GrowableArray() = default;
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;

    // n = 0 frees the storage (count and capacity 0); n >= capacity moves the
    // count elements into fresh zeroed storage of n; a smaller n does nothing.
    void reserve(std::uint32_t n) {
        if (n == 0) {
            elements.reset();
            count = 0;
            capacity = 0;
            return;
        }
        if (n < capacity) {
            return;
        }
        std::unique_ptr<T[]> grown(new T[n]());
        std::copy(elements.get(), elements.get() + count, grown.get());
        elements = std::move(grown);
        capacity = n;
    }

    // Stores value at index count. Storage doubles when count reaches capacity - 1.
    void append(const T& value) {
        if (capacity == 0) {
            reserve(1);
        } else if (count >= capacity - 1) {
            reserve(capacity * 2);
        }
        elements[count] = value;
        ++count;
    }

    T& operator[](std::uint32_t i) { return elements[i]; }
    const T& operator[](std::uint32_t i) const { return elements[i]; }
    T* data() { return elements.get(); }
    const T* data() const { return elements.get(); }

    std::unique_ptr<T[]> elements;
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
};

} // namespace effects

namespace effects {

// Four floats; w is 0 and not read.
struct Float4 {
    float x;
    float y;
    float z;
    float w;
};

} // namespace effects

struct Particle {
    effects::Float4 position;
    effects::Float4 previous;  // one step earlier (Verlet)
    effects::Float4 force;     // accumulated during the current step
    effects::Float4 normalSum; // sum of the unit normals of the adjacent faces
};
static_assert(sizeof(Particle) == 64);

struct Spring {
    std::uint32_t a;
    std::uint32_t b;
    float rest;
    float inverseRest;
    float restSquared; // the only value the step reads
};
static_assert(sizeof(Spring) == 20);

struct Face {
    Vector3 normal; // (Pb - Pa) x (Pc - Pa): twice the area long
    float spare;
    Vector3 unitNormal; // zero for a degenerate face
    std::uint32_t spareWord;
    std::uint32_t a;
    std::uint32_t b;
    std::uint32_t c;
};
static_assert(sizeof(Face) == 44);

// How far (per axis, one-sided) the first corner of a group of three faces may
// lie beyond a moving particle for the group to be tested; set by buildLattice
// to three lattice spacings and shared by every field.
extern float faceProximity;

namespace effects {

// Whether the fast face test takes eight groups at once (true where the
// processor has AVX2) or four; both give the plain test's result. Tests turn
// it off to run the four-lane path; it must not be turned on without AVX2.
extern bool faceTestWide;

} // namespace effects

class particleField {
  public:
    explicit particleField(device* owner);
    ~particleField();
    particleField(const particleField&) = delete;
    particleField& operator=(const particleField&) = delete;

    // Appends an (n + 1) x (n + 1) sheet 10 units wide at height 13 with its
    // springs and faces; n < 1 appends nothing. Run buildBuffers afterwards.
    void buildLattice(int n);
    // Makes the vertex pool (one vertex per particle) and the index pool of
    // the faces, and uploads the indices. A second call replaces both pools.
    void buildBuffers();
    // Copies positions and normal sums into the vertex pool and uploads it;
    // the first call also fixes texture coordinates from the bounding box.
    void updateMesh();
    // updateMesh, then the indexed draw. Nothing before buildBuffers.
    void draw();

    // One fixed time step: accumulateForces, integrate, relax.
    void step();
    // force = gravity plus the wind on each adjacent face; face normals and normal sums.
    void accumulateForces();
    // Damped Verlet move of each particle in index order; a move towards one of
    // the sheet's faces lying more than 0.5 ahead is cancelled.
    void integrate();
    // integrate without the blocked face data of the fast path: one face at a
    // time, straight from the arrays. Gives the same positions, bit for bit.
    void integratePlain();
    // Two passes of spring relaxation followed by the sphere push.
    void relax();

    Vector3 gravity;
    float timeStep;
    float timeStepSquared;
    device* owner;
    float sphereRadius;
    bool texCoordsDone;
    std::unique_ptr<indexbuffer> indices;
    std::unique_ptr<vertexbuffer> vertices;
    Vector3 wind;
    effects::GrowableArray<Particle> particles;
    effects::GrowableArray<Spring> springs;
    effects::GrowableArray<Face> faces;

  private:
    struct CollisionCache;

    std::uint32_t testedGroupCount() const;
    void prepareCollision();
    void refreshFace(std::uint32_t f);
    void refreshFacesOf(std::uint32_t i);
    // True when the line through n along d meets a face of a near group more than 0.5 ahead.
    bool movesIntoFace(const Vector3& n, const Vector3& d) const;

    std::unique_ptr<CollisionCache> collision;
};
