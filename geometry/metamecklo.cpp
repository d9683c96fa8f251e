#include "geometry/metamecklo.h"

#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "errors/errors.h"
#include "geometry/floatx4.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

float isoLevel = 0.5f;

namespace {

constexpr const char* kFile = "metamecklo";
constexpr int kCompactCapacity = 150000;
constexpr int kFullCapacity = 500000;

// One slab and one cell: the farthest a corner's neighbour lies outside the cells.
std::size_t marginOf(int nx, int ny) {
    return static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) + 1;
}

} // namespace

FieldGrid::FieldGrid(int sizeX, int sizeY, int sizeZ)
    : nx(sizeX), ny(sizeY), nz(sizeZ), storage(cellCount() + 2 * marginOf(sizeX, sizeY), 0.0f),
      values(storage.data() + marginOf(sizeX, sizeY)) {}

metamecklo::metamecklo(device* ownerDevice, int sizeX, int sizeY, int sizeZ, float size, float, float, float, float,
                       float, bool isCompact)
    : owner(ownerDevice), currentIsA(false), compact(isCompact), gridA(sizeX, sizeY, sizeZ), gridB(sizeX, sizeY, sizeZ),
      vertexCapacity(isCompact ? kCompactCapacity : kFullCapacity), meshVertexCount(0), poolMirrored(false), nx(sizeX),
      ny(sizeY), nz(sizeZ), worldSize(size), world{}, tubes{} {
    identity(world);
    try {
        triangleBuffer.resize(static_cast<std::size_t>(vertexCapacity / 3));
        xUnits.resize(static_cast<std::size_t>(std::max(sizeX, 0)));
        for (int x = 0; x < sizeX; ++x) {
            xUnits[static_cast<std::size_t>(x)] = static_cast<float>(x) / static_cast<float>(sizeX - 1);
        }
        columnCodes.resize(static_cast<std::size_t>(std::max(sizeX, 0)) + 1);
    } catch (const std::bad_alloc&) {
        errors::raiseError(errors::kAutoThrowD3d, kFile, 40);
    }
    vertices = std::make_unique<vertexbuffer>(owner, vertexCapacity, compact, 1, false, compact);
    currentIsA = false;
    isoLevel = 1.0f;
}

metamecklo::~metamecklo() = default;

void metamecklo::setIsoLevel(float level) {
    isoLevel = level;
}

void metamecklo::clearFields() {
    std::fill(gridA.values, gridA.values + gridA.cellCount(), 0.0f);
    std::fill(gridB.values, gridB.values + gridB.cellCount(), 0.0f);
    currentIsA = false;
}

void metamecklo::clearBorders() {
    FieldGrid& g = currentGrid();
    const int thickness = nz / 10;
    // Each face is walked over its own two dimensions, which on the cubic
    // grids in use is every (i, j) below ny and nx.
    for (int k = 0; k < std::min(thickness, g.nx); ++k) {
        for (int z = 0; z < g.nz; ++z) {
            for (int y = 0; y < g.ny; ++y) {
                g.at(k, y, z) = 0.0f;
                g.at(g.nx - 1 - k, y, z) = 0.0f;
            }
        }
    }
    for (int k = 0; k < std::min(thickness, g.ny); ++k) {
        for (int z = 0; z < g.nz; ++z) {
            for (int x = 0; x < g.nx; ++x) {
                g.at(x, k, z) = 0.0f;
                g.at(x, g.ny - 1 - k, z) = 0.0f;
            }
        }
    }
    for (int k = 0; k < std::min(thickness, g.nz); ++k) {
        for (int y = 0; y < g.ny; ++y) {
            for (int x = 0; x < g.nx; ++x) {
                g.at(x, y, k) = 0.0f;
                g.at(x, y, g.nz - 1 - k) = 0.0f;
            }
        }
    }
}

void metamecklo::blurField() {
    using namespace geometry::fieldsimd;
    const FieldGrid& src = currentGrid();
    FieldGrid& dst = currentIsA ? gridB : gridA;
    const int sx = src.nx;
    const std::ptrdiff_t row = sx;
    const std::ptrdiff_t slab = static_cast<std::ptrdiff_t>(sx) * src.ny;
    const std::ptrdiff_t offsets[9] = {-slab - row, -slab, -slab + row, -row, 0, row, slab - row, slab, slab + row};
    const floatx4 third = splat(0.037037037f);
    for (int z = 1; z < src.nz - 1; ++z) {
        for (int y = 1; y < src.ny - 1; ++y) {
            const float* centre = src.values + z * slab + y * row;
            float* out = &dst.at(0, y, z);
            // Four cells at once, each lane summing its 27 values in the
            // plain pass's order (z, then y, then x offset) from zero.
            int x = 1;
            for (; x + kLanes <= sx - 1; x += kLanes) {
                floatx4 sum = splat(0.0f);
                for (const std::ptrdiff_t o : offsets) {
                    const float* s = centre + o + x;
                    sum += load(s - 1);
                    sum += load(s);
                    sum += load(s + 1);
                }
                store(out + x, sum * third);
            }
            for (; x < sx - 1; ++x) {
                float sum = 0.0f;
                for (const std::ptrdiff_t o : offsets) {
                    const float* s = centre + o + x;
                    sum += s[-1];
                    sum += s[0];
                    sum += s[1];
                }
                out[x] = sum * 0.037037037f;
            }
        }
    }
    currentIsA = !currentIsA;
}

void metamecklo::blurFieldPlain() {
    const FieldGrid& src = currentGrid();
    FieldGrid& dst = currentIsA ? gridB : gridA;
    const int sx = src.nx;
    const std::ptrdiff_t row = sx;
    const std::ptrdiff_t slab = static_cast<std::ptrdiff_t>(sx) * src.ny;
    std::vector<float> sum(static_cast<std::size_t>(std::max(sx, 0)));
    for (int z = 1; z < src.nz - 1; ++z) {
        for (int y = 1; y < src.ny - 1; ++y) {
            const float* centre = src.values + z * slab + y * row;
            std::fill(sum.begin(), sum.end(), 0.0f);
            // The 27 values of every cell are summed in one fixed order
            // (z, then y, then x offset), row by row, so the inner loops run
            // over contiguous memory.
            for (int dz = -1; dz <= 1; ++dz) {
                for (int dy = -1; dy <= 1; ++dy) {
                    const float* s = centre + dz * slab + dy * row;
                    for (int x = 1; x < sx - 1; ++x) {
                        sum[static_cast<std::size_t>(x)] += s[x - 1];
                        sum[static_cast<std::size_t>(x)] += s[x];
                        sum[static_cast<std::size_t>(x)] += s[x + 1];
                    }
                }
            }
            float* out = &dst.at(0, y, z);
            for (int x = 1; x < sx - 1; ++x) {
                out[x] = sum[static_cast<std::size_t>(x)] * 0.037037037f;
            }
        }
    }
    currentIsA = !currentIsA;
}

namespace {

// Pool triangles 0 to count - 1 from the first records: positions, the
// negated gradient as u, v, and its unit vector as the normal.
void fillPool(vertexbuffer& vb, std::span<const TriangleRecord> records, int count) {
    for (int t = 0; t < count; ++t) {
        const TriangleRecord& r = records[static_cast<std::size_t>(t)];
        for (int c = 0; c < 3; ++c) {
            const int v = 3 * t + c;
            const float* rv = r.vertex[c];
            std::memcpy(vb.position(v, false), rv, 3 * sizeof(float));
            float* uv = vb.texCoord(0, v, false);
            uv[0] = rv[3];
            uv[1] = rv[4];
            Vector3 n{};
            normalize({rv[3], rv[4], rv[5]}, n);
            float* normal = vb.normal(v, false);
            normal[0] = n.x;
            normal[1] = n.y;
            normal[2] = n.z;
        }
    }
}

using Scan = int (*)(metamecklo&, std::span<TriangleRecord>, float);

// Polygonises the current grid with `scan` into the pool and clears the
// grids. A compact pool whose hardware buffers already mirror it may upload
// only the mesh's vertices; otherwise the whole pool goes up.
int buildMeshWith(metamecklo& m, Scan scan, bool uploadOnlyTheMesh) {
    const float scale = 1.0f / (static_cast<float>(m.nx) / m.worldSize);
    const std::size_t room = std::min(m.triangleBuffer.size(), static_cast<std::size_t>(m.vertexCapacity / 3));
    const int count = scan(m, std::span<TriangleRecord>(m.triangleBuffer.data(), room), scale);
    m.currentIsA = false;
    if (!m.compact) {
        m.vertices->setVertexCount(3 * count);
    }
    fillPool(*m.vertices, m.triangleBuffer, count);
    m.meshVertexCount = 3 * count;
    if (uploadOnlyTheMesh && m.compact && m.poolMirrored) {
        m.vertices->uploadVertices(0, m.meshVertexCount);
    } else {
        m.vertices->upload();
        m.poolMirrored = m.compact && m.vertices->buffers[0] != nullptr;
    }
    m.clearFields();
    return count;
}

} // namespace

int metamecklo::buildMesh() {
    return buildMeshWith(
        *this,
        [](metamecklo& m, std::span<TriangleRecord> records, float scale) {
            return polygonise(m.currentGrid(), records, scale, m.columnCodes);
        },
        true);
}

int metamecklo::buildMeshPlain() {
    return buildMeshWith(
        *this,
        [](metamecklo& m, std::span<TriangleRecord> records, float scale) {
            return geometry::polygonisePlain(m.currentGrid(), records, scale);
        },
        false);
}

void metamecklo::drawMesh() {
    owner->setWorld(world);
    vertices->drawTriangles(meshVertexCount / 3);
}
