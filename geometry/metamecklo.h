// The metaball isosurface: a scalar field on a 3-D grid that a frame fills
// with soft shapes, smooths, and turns into triangles by marching cubes.
//
// A frame: shapes are added into gridB; optionally clearBorders and any
// number of blurField passes (each swaps the current grid); buildMesh
// polygonises the current grid at isoLevel into the vertex pool and clears
// both grids; drawMesh draws the result until the next buildMesh.
// Raises carry the source "metamecklo".
#pragma once

#include "dx/dxmath.h"
#include "dx/lazyzero.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class device;
class vertexbuffer;

// The iso level of every metamecklo: 0.5 before any object exists, 1.0 after
// each construction, and whatever setIsoLevel set last.
extern float isoLevel;

// nx × ny × nz floats, x fastest: point (x, y, z) is values[(z ny + y) nx + x].
//
// Around the cells lie zeros, one slab and one cell deep on either side, never
// written: the marching cubes read corners and their neighbours through flat
// offsets, and the reads past the first or last slab land there and see a
// cleared border.
struct FieldGrid {
    // Every cell and the margins zero.
    FieldGrid(int nx, int ny, int nz);
    FieldGrid(const FieldGrid&) = delete;
    FieldGrid& operator=(const FieldGrid&) = delete;

    std::size_t cellCount() const { return static_cast<std::size_t>(nx) * ny * nz; }
    float& at(int x, int y, int z) { return values[(static_cast<std::ptrdiff_t>(z) * ny + y) * nx + x]; }
    float at(int x, int y, int z) const { return values[(static_cast<std::ptrdiff_t>(z) * ny + y) * nx + x]; }

    int nx;
    int ny;
    int nz;
    std::vector<float> storage;
    float* values;
};

// One polygonised triangle: three vertices in drawing order, each the
// position x, y, z and the negated field gradient x, y, z.
struct TriangleRecord {
    float vertex[3][6];
};
static_assert(sizeof(TriangleRecord) == 72);

namespace geometry {

// The constants of one animated tube: base, phase, rate and amplitude of its
// eleven parameter groups (initTubeSet).
struct TubeConstants {
    float base[11];
    float phase[11];
    float rate[11];
    float amplitude[11];
};

inline constexpr int kTubeCount = 5;

} // namespace geometry

// Marching cubes over the grid at isoLevel. Cube (x, y, z) takes its corner
// values from the cells one further along x ((x + 1, y, z) for corner 0);
// positions are (x - nx / 2, y - ny / 2, z - nz / 2) plus the corner offsets
// and the crossing, times scale. Writes at most records.size() records from
// the start (the first in scan order survive) and returns how many.
//
// The cube cases come from per-column codes of the four cells a row of cubes
// reads at each x, so that cubes wholly below or above isoLevel cost a table
// look-up; polygonisePlain reads the eight corners of every cube. Both give
// the same records. polygonise keeps the codes of a row in `columns` when it
// holds at least nx + 1 bytes, else in a buffer of its own made for the call.
int polygonise(const FieldGrid& grid, std::span<TriangleRecord> records, float scale,
               std::span<std::uint8_t> columns = {});
namespace geometry {

int polygonisePlain(const FieldGrid& grid, std::span<TriangleRecord> records, float scale);

} // namespace geometry

class metamecklo {
  public:
    // sizeY, sizeZ and the three further values are not used. compact: a
    // dynamic pool of 150,000 vertices made now, whose size never changes;
    // otherwise a static pool of up to 500,000 whose hardware buffers are
    // made later (createBuffers) and which buildMesh resizes to each mesh.
    // Sets isoLevel to 1.0.
    metamecklo(device* owner, int nx, int ny, int nz, float worldSize, float sizeY, float sizeZ, float unused0,
               float unused1, float unused2, bool compact);
    ~metamecklo();
    metamecklo(const metamecklo&) = delete;
    metamecklo& operator=(const metamecklo&) = delete;

    // Sets the shared isoLevel, for every object.
    void setIsoLevel(float level);

    // gridA when currentIsA, else gridB.
    FieldGrid& currentGrid() { return currentIsA ? gridA : gridB; }

    // Both grids zero; currentIsA clear.
    void clearFields();
    // Zeroes slabs of nz div 10 cells on the six faces of the current grid.
    void clearBorders();
    // Each interior cell of the other grid becomes the mean of the 3 × 3 × 3
    // block around it in the current grid (its border cells keep their
    // values); then the other grid is current.
    void blurField();
    // blurField one cell at a time; the same values. blurField sums four
    // cells at once.
    void blurFieldPlain();
    // Soft ball s / (d^2 / r^2 + 1) - s / 11 into gridB, centre in grid units
    // (0..1 per axis). Planes and rows beyond 10 r^2 in y and z are skipped;
    // values of 0.5 and above are not added.
    void addBall(float radius, float strength, const float centre[3]);
    // As addBall with |strength|, adding only positive values: added for a
    // strength above 0, subtracted otherwise.
    void addSignedBall(float radius, float strength, const float centre[3]);
    // A tube along y whose centre line wanders in x and z and which thins out
    // with height by exp(-y / decay), into every cell of gridB.
    void addTube(float x0, float z0, float decay, float radius, float strength, float ampX, float freqX, float phaseX,
                 float ampZ, float freqZ, float phaseZ);
    // addTube one cell at a time; the same values. addTube runs four cells
    // at once over a table of the normalised x coordinates.
    void addTubePlain(float x0, float z0, float decay, float radius, float strength, float ampX, float freqX,
                      float phaseX, float ampZ, float freqZ, float phaseZ);
    // Draws the constants of the five tubes from the shared random generator,
    // without reseeding it: 5 tubes × 11 groups × 4 draws.
    void initTubeSet();
    // The five tubes at time t (unless strengthScale is 0), then gridB cleared
    // inside d^2 < 0.025 and outside d^2 >= 0.225 around the grid's centre.
    void addTubeSet(float t, float xOffset, float zOffset, float decayScale, float strengthScale);
    // addTubeSet through addTubePlain and a carve one cell at a time; the
    // same values.
    void addTubeSetPlain(float t, float xOffset, float zOffset, float decayScale, float strengthScale);

    // Polygonises the current grid into the vertex pool (positions scaled so
    // that the grid spans worldSize, unit normals, texture coordinates u, v
    // from the unnormalised negated gradient), uploads and clears the field.
    // Returns the number of triangles.
    //
    // Once the compact pool's hardware buffers hold a whole upload, later
    // meshes upload only their own vertices: the rest of the working copy is
    // unchanged since, so the buffers end as a whole upload would leave them.
    int buildMesh();
    // buildMesh through polygonisePlain with a whole upload every time; the
    // same pool contents.
    int buildMeshPlain();
    // Draws the last mesh with `world`.
    void drawMesh();

    std::unique_ptr<vertexbuffer> vertices;
    device* owner;
    bool currentIsA;
    bool compact;
    FieldGrid gridA;
    FieldGrid gridB;
    dx::LazyZeroArray<TriangleRecord> triangleBuffer;
    int vertexCapacity;
    int meshVertexCount;
    // The hardware buffers hold the whole working copy of the compact pool.
    bool poolMirrored;
    // Made with the object, so that a frame allocates nothing: the normalised
    // x coordinate of every cell along x (0 at the first, 1 at the last), and
    // room for polygonise's column codes (nx + 1).
    std::vector<float> xUnits;
    std::vector<std::uint8_t> columnCodes;
    int nx;
    int ny;
    int nz;
    float worldSize;
    Matrix world;
    geometry::TubeConstants tubes[geometry::kTubeCount];
};
