// The marching-cubes tables in their published form (Paul Bourke,
// "Polygonising a scalar field", 1994, after Cory Gene Bloyd), usual
// numbering:
//   corners 0 (x, y, z), 1 (x+1, y, z), 2 (x+1, y+1, z), 3 (x, y+1, z),
//           4 to 7 the same at z+1;
//   edges   0 (0-1), 1 (1-2), 2 (2-3), 3 (3-0), 4 (4-5), 5 (5-6), 6 (6-7),
//           7 (7-4), 8 (0-4), 9 (1-5), 10 (2-6), 11 (3-7).
// A cube's case has bit k set when corner k lies below the iso level.
#pragma once

#include <array>
#include <cstdint>

namespace geometry {

// Per case, the 12-bit mask of the edges that the surface crosses.
extern const std::array<std::uint16_t, 256> kMcEdgeTable;
// Per case, edge numbers in threes (one triangle each), ended by -1.
extern const std::array<std::array<std::int8_t, 16>, 256> kMcTriangleTable;

// The two corners of each edge.
inline constexpr std::uint8_t kMcEdgeCorners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                                       {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
// Offsets (x, y, z) of each corner within its cube.
inline constexpr std::uint8_t kMcCornerOffsets[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                        {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};

} // namespace geometry
