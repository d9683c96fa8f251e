// Marching cubes over a FieldGrid, after the published method and tables
// (mctables.h).
#include "geometry/mctables.h"
#include "geometry/metamecklo.h"

#include <cstddef>

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

} // namespace

int polygonise(const FieldGrid& grid, std::span<TriangleRecord> records, float scale) {
    const int nx = grid.nx;
    const int ny = grid.ny;
    const int nz = grid.nz;
    const std::ptrdiff_t row = nx;
    const std::ptrdiff_t slab = static_cast<std::ptrdiff_t>(nx) * ny;
    const float iso = isoLevel;
    const float xs = -static_cast<float>(nx) / 2.0f;
    const float ys = -static_cast<float>(ny) / 2.0f;
    const float zs = -static_cast<float>(nz) / 2.0f;
    const std::ptrdiff_t cornerOffset[8] = {0, 1, 1 + row, row, slab, slab + 1, slab + 1 + row, slab + row};
    const std::ptrdiff_t axisStep[3] = {1, row, slab};
    const float* f = grid.values;
    const std::size_t room = records.size();
    std::size_t written = 0;

    for (int z = 0; z < nz - 1; ++z) {
        for (int y = 0; y < ny - 1; ++y) {
            for (int x = 0; x < nx - 1; ++x) {
                // Corner 0 is the cell one further along x; the last cube of
                // a row reaches the first cell of the next row through the
                // flat offset, and the grid's margin past the last cell.
                const std::ptrdiff_t base = (static_cast<std::ptrdiff_t>(z) * ny + y) * row + x + 1;
                float value[8];
                unsigned cubeCase = 0;
                for (int k = 0; k < 8; ++k) {
                    value[k] = f[base + cornerOffset[k]];
                    if (value[k] < iso) {
                        cubeCase |= 1u << k;
                    }
                }
                const unsigned crossed = mcEdgeTable[cubeCase];
                if (crossed == 0) {
                    continue;
                }
                EdgeVertex at[12];
                for (int e = 0; e < 12; ++e) {
                    if ((crossed & (1u << e)) == 0) {
                        continue;
                    }
                    const int a = kEdgeLow[e];
                    const int b = kEdgeHigh[e];
                    const float t = (iso - value[a]) / (value[b] - value[a]);
                    const std::uint8_t* o = mcCornerOffsets[a];
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
                const std::array<std::int8_t, 16>& triangles = mcTriangleTable[cubeCase];
                for (int i = 0; triangles[static_cast<std::size_t>(i)] != -1; i += 3) {
                    if (written == room) {
                        return static_cast<int>(written);
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
            }
        }
    }
    return static_cast<int>(written);
}
