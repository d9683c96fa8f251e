// Topology of triangle lists for the tests: vertices welded by exact
// position, edges counted in both directions.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace geometry::test {

using Point = std::array<float, 3>;

struct Topology {
    std::size_t vertices = 0; // distinct positions
    std::size_t edges = 0;    // distinct undirected edges
    std::size_t faces = 0;
    std::size_t openEdges = 0; // undirected edges not used exactly once in each direction
    long euler() const { return static_cast<long>(vertices) - static_cast<long>(edges) + static_cast<long>(faces); }
};

// corners holds three points per triangle, in drawing order.
Topology topologyOf(const std::vector<Point>& corners);

// The same for index triples over numbered vertices.
Topology topologyOfIndices(const std::vector<int>& indices);

} // namespace geometry::test
