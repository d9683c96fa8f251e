// Indexed triangle meshes made at start-up: a subdivided cube whose two bands
// of three faces are welded along their seams, and spheres pushed out of it;
// with the per-mesh passes for normals, texture coordinates and the spherify
// blend.
//
// Shapes are built in the rest copy of the vertex pool, copied over the
// working copy (resetToRest) and uploaded. Raises carry the source "genmesh".
#pragma once

#include "dx/dxmath.h"

#include <memory>

class device;
class vertexbuffer;
class indexbuffer;

// One vertex pool, an optional index pool and a world matrix.
class mesh {
  public:
    // Logs "new vb", "new ib" (when indexed) and "identity"; the vertex pool's
    // hardware buffers are made at once. indexCount 0 makes a mesh without indices.
    mesh(device* owner, int vertexCount, int indexCount, bool dynamic, int texCoordSets, bool hasColor);
    ~mesh();
    mesh(const mesh&) = delete;
    mesh& operator=(const mesh&) = delete;

    // Sets the device's world transform to `world` and draws the index list,
    // or every triangle of the vertex pool when the mesh has no indices.
    void draw();

    // index count / 3, or vertex count / 3 without indices.
    int triangleCount();
    // Vertex number of corner c (0..2) of triangle t.
    int corner(int t, int c);

    bool indexed;
    device* owner;
    std::unique_ptr<vertexbuffer> vertices;
    std::unique_ptr<indexbuffer> indices;
    Matrix world;
};

namespace geometry {

enum class TexCoordMode { spherical = 0, fixed = 1, cylindrical = 2, box = 3 };

} // namespace geometry

class genmesh {
  public:
    // The second argument is not used.
    genmesh(device* owner, int unused);

    // A cube of n × n quads per face, n = floor(sqrt(budget / 12)), so at most
    // `budget` triangles; box texture coordinates and smooth normals. A budget
    // below 12 raises "keffo biatch, add more pollys, cheap bastard".
    std::unique_ptr<mesh> createCube(int budget, bool dynamic, int texCoordSets, bool hasColor);
    // createCube pushed towards the unit sphere by `amount` (1: onto it), with
    // normals and spherical texture coordinates of the working copy.
    std::unique_ptr<mesh> createSphere(int budget, float amount, bool dynamic, int texCoordSets, bool hasColor);

    // Scales every position p of the copy by (t / |p|) t + (1 - t), then
    // recomputes that copy's normals.
    void spherify(mesh& m, float amount, bool rest);
    // Vertex normals as the normalised sum of the unit normals of the
    // triangles around each vertex, every triangle counting equally.
    void computeNormals(mesh& m, bool rest);
    // Three values per vertex from its working position, written as
    // ((offsetU + A) scaleU, (offsetV + B) scaleV, (offsetV + C) scaleV) at
    // byteOffset into the copy's texture coordinates; then uploads the pool.
    // byteOffset + 12 must stay within the vertex's texture coordinates (0 with one set).
    void computeTexCoords(mesh& m, geometry::TexCoordMode mode, int byteOffset, bool rest, float offsetU, float offsetV,
                          float scaleU, float scaleV);

    device* owner;
};
