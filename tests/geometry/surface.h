// Topology of triangle lists for the tests: vertices welded by exact
// position, edges counted in both directions.
#pragma once

#include "dx/dxdevice.h"
#include "geometry/metamecklo.h"
#include "tests/dx/fakedevice.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <memory>
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

// Metaball objects over the mock device.
class MetaballTest : public ::testing::Test {
  protected:
    MetaballTest() { d.d3dDevice = &mock; }
    // n^3 cells over 5 x 5 x 5 centred on the origin, its log lines kept off the output.
    std::unique_ptr<metamecklo> make(int n, bool compact) {
        ::testing::internal::CaptureStderr();
        auto m = std::make_unique<metamecklo>(&d, n, n, n, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, compact);
        ::testing::internal::GetCapturedStderr();
        return m;
    }
    ::testing::NiceMock<dx::test::Device> mock;
    device d;
};

} // namespace geometry::test
