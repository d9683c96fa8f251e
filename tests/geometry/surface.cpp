#include "tests/geometry/surface.h"

#include <map>
#include <utility>

namespace geometry::test {

Topology topologyOfIndices(const std::vector<int>& indices) {
    Topology t;
    std::map<std::pair<int, int>, int> directed;
    std::map<int, int> used;
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
        ++t.faces;
        for (std::size_t c = 0; c < 3; ++c) {
            used[indices[i + c]] = 1;
            ++directed[{indices[i + c], indices[i + (c + 1) % 3]}];
        }
    }
    t.vertices = used.size();
    for (const auto& [edge, count] : directed) {
        const auto back = directed.find({edge.second, edge.first});
        const int reverse = back == directed.end() ? 0 : back->second;
        if (edge.first < edge.second || reverse == 0) {
            ++t.edges;
            t.openEdges += count != 1 || reverse != 1 ? 1 : 0;
        }
    }
    return t;
}

Topology topologyOf(const std::vector<Point>& corners) {
    std::map<Point, int> ids;
    std::vector<int> indices;
    indices.reserve(corners.size());
    for (const Point& p : corners) {
        const auto [it, fresh] = ids.emplace(p, static_cast<int>(ids.size()));
        indices.push_back(it->second);
    }
    return topologyOfIndices(indices);
}

} // namespace geometry::test
