// Marching cubes over a FieldGrid, after the published method and tables
// (mctables.h).
#include "geometry/mctables.h"
#include "geometry/metamecklo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Axis (0 x, 1 y, 2 z) along which each edge runs, and its corner with the
// smaller coordinate on that axis, from which the crossing is measured.
constexpr int kEdgeAxis[12] = {0, 1, 0, 1, 0, 1, 0, 1, 2, 2, 2, 2};
constexpr int kEdgeLow[12] = {0, 1, 3, 0, 4, 5, 7, 4, 0, 1, 2, 3};
constexpr int kEdgeHigh[12] = {1, 2, 2, 3, 5, 6, 6, 7, 4, 5, 6, 7};

struct EdgeVertex {
    float p[3];
    float g[3];
};

// What both scans share: the grid's flat steps and the frame's constants.
struct Scan {
    explicit Scan(const FieldGrid& grid, std::span<TriangleRecord> out, float s)
        : nx(grid.nx), ny(grid.ny), nz(grid.nz), row(grid.nx), slab(static_cast<std::ptrdiff_t>(grid.nx) * grid.ny),
          iso(isoLevel), xs(-static_cast<float>(grid.nx) / 2.0f), ys(-static_cast<float>(grid.ny) / 2.0f),
          zs(-static_cast<float>(grid.nz) / 2.0f),
          cornerOffset{0, 1, 1 + row, row, slab, slab + 1, slab + 1 + row, slab + row}, axisStep{1, row, slab},
          f(grid.values), records(out), scale(s) {}

    std::ptrdiff_t baseOf(int x, int y, int z) const {
        // Corner 0 is the cell one further along x; the last cube of a row
        // reaches the first cell of the next row through the flat offset,
        // and the grid's margin past the last cell.
        return (static_cast<std::ptrdiff_t>(z) * ny + y) * row + x + 1;
    }

    // The records of cube (x, y, z) of case cubeCase with corner values
    // `value`; false once the records are full.
    bool emit(int x, int y, int z, std::ptrdiff_t base, const float value[8], unsigned cubeCase);

    int nx;
    int ny;
    int nz;
    std::ptrdiff_t row;
    std::ptrdiff_t slab;
    float iso;
    float xs;
    float ys;
    float zs;
    std::ptrdiff_t cornerOffset[8];
    std::ptrdiff_t axisStep[3];
    const float* f;
    std::span<TriangleRecord> records;
    float scale;
    std::size_t written = 0;
};

bool Scan::emit(int x, int y, int z, std::ptrdiff_t base, const float value[8], unsigned cubeCase) {
    const unsigned crossed = geometry::kMcEdgeTable[cubeCase];
    EdgeVertex at[12];
    for (int e = 0; e < 12; ++e) {
        if ((crossed & (1u << e)) == 0) {
            continue;
        }
        const int a = kEdgeLow[e];
        const int b = kEdgeHigh[e];
        const float t = (iso - value[a]) / (value[b] - value[a]);
        const std::uint8_t* o = geometry::kMcCornerOffsets[a];
        EdgeVertex& v = at[e];
        v.p[0] = xs + static_cast<float>(x + o[0]);
        v.p[1] = ys + static_cast<float>(y + o[1]);
        v.p[2] = zs + static_cast<float>(z + o[2]);
        v.p[kEdgeAxis[e]] += t;
        // Unscaled central differences at the two corners' cells.
        const float* ca = f + base + cornerOffset[a];
        const float* cb = f + base + cornerOffset[b];
        for (int axis = 0; axis < 3; ++axis) {
            const std::ptrdiff_t s = axisStep[axis];
            const float ga = ca[s] - ca[-s];
            const float gb = cb[s] - cb[-s];
            v.g[axis] = ga + t * (gb - ga);
        }
    }
    const std::array<std::int8_t, 16>& triangles = geometry::kMcTriangleTable[cubeCase];
    for (int i = 0; triangles[static_cast<std::size_t>(i)] != -1; i += 3) {
        if (written == records.size()) {
            return false;
        }
        TriangleRecord& r = records[written++];
        for (int c = 0; c < 3; ++c) {
            const EdgeVertex& v = at[triangles[static_cast<std::size_t>(i + c)]];
            float* out = r.vertex[c];
            out[0] = v.p[0] * scale;
            out[1] = v.p[1] * scale;
            out[2] = v.p[2] * scale;
            out[3] = -v.g[0];
            out[4] = -v.g[1];
            out[5] = -v.g[2];
        }
    }
    return true;
}

// A column code holds, for one x, which of the four cells (y, z), (y + 1, z),
// (y, z + 1), (y + 1, z + 1) lie below the iso level (bits 0 to 3). A cube
// takes corners 0, 3, 4, 7 from the column at its corner 0 and corners 1, 2,
// 5, 6 from the next column.
constexpr std::uint8_t kLowCorners[16] = {0, 1, 8, 9, 16, 17, 24, 25, 128, 129, 136, 137, 144, 145, 152, 153};
constexpr std::uint8_t kHighCorners[16] = {0, 2, 4, 6, 32, 34, 36, 38, 64, 66, 68, 70, 96, 98, 100, 102};

constexpr unsigned kAllBelow = 255;
constexpr unsigned kColumnAllBelow = 15;

} // namespace

namespace geometry {

int polygonisePlain(const FieldGrid& grid, std::span<TriangleRecord> records, float scale) {
    Scan scan(grid, records, scale);
    for (int z = 0; z < scan.nz - 1; ++z) {
        for (int y = 0; y < scan.ny - 1; ++y) {
            for (int x = 0; x < scan.nx - 1; ++x) {
                const std::ptrdiff_t base = scan.baseOf(x, y, z);
                float value[8];
                unsigned cubeCase = 0;
                for (int k = 0; k < 8; ++k) {
                    value[k] = scan.f[base + scan.cornerOffset[k]];
                    if (value[k] < scan.iso) {
                        cubeCase |= 1u << k;
                    }
                }
                if (kMcEdgeTable[cubeCase] == 0) {
                    continue;
                }
                if (!scan.emit(x, y, z, base, value, cubeCase)) {
                    return static_cast<int>(scan.written);
                }
            }
        }
    }
    return static_cast<int>(scan.written);
}

} // namespace geometry

int polygonise(const FieldGrid& grid, std::span<TriangleRecord> records, float scale, std::span<std::uint8_t> columns) {
    Scan scan(grid, records, scale);
    const std::size_t needed = static_cast<std::size_t>(std::max(scan.nx, 0)) + 1;
    std::vector<std::uint8_t> own;
    if (columns.size() < needed) {
        own.resize(needed);
        columns = own;
    }
    const std::span<std::uint8_t> column = columns;
    const float iso = scan.iso;
    for (int z = 0; z < scan.nz - 1; ++z) {
        for (int y = 0; y < scan.ny - 1; ++y) {
            // Columns 1 to nx of the row: the cells its cubes read, the last
            // being the first of the next row as the flat offsets reach it.
            const float* c = scan.f + scan.baseOf(0, y, z) - 1;
            unsigned allBelow = kColumnAllBelow;
            for (int i = 1; i <= scan.nx; ++i) {
                const unsigned code = (c[i] < iso ? 1u : 0u) | (c[i + scan.row] < iso ? 2u : 0u) |
                                      (c[i + scan.slab] < iso ? 4u : 0u) |
                                      (c[i + scan.slab + scan.row] < iso ? 8u : 0u);
                column[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(code);
                allBelow &= code;
            }
            if (allBelow == kColumnAllBelow) {
                continue;
            }
            for (int x = 0; x < scan.nx - 1; ++x) {
                const unsigned cubeCase = kLowCorners[column[static_cast<std::size_t>(x) + 1]] |
                                          kHighCorners[column[static_cast<std::size_t>(x) + 2]];
                if (cubeCase == 0 || cubeCase == kAllBelow) {
                    continue;
                }
                const std::ptrdiff_t base = scan.baseOf(x, y, z);
                float value[8];
                for (int k = 0; k < 8; ++k) {
                    value[k] = scan.f[base + scan.cornerOffset[k]];
                }
                if (!scan.emit(x, y, z, base, value, cubeCase)) {
                    return static_cast<int>(scan.written);
                }
            }
        }
    }
    return static_cast<int>(scan.written);
}
