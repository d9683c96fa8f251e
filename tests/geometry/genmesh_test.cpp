// The mesh generator against a mock device: cube layout and welding, the
// polygon budget, normals, texture coordinates, spherify and drawing.
#include "dx/dxdevice.h"
#include "dx/dxindexbuffer.h"
#include "dx/dxvertexbuffer.h"
#include "errors/errors.h"
#include "geometry/genmesh.h"
#include "tests/dx/fakedevice.h"
#include "tests/geometry/surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::_;
using ::testing::NiceMock;

namespace {

class GenmeshTest : public ::testing::Test {
  protected:
    GenmeshTest() : gen(&d, 1000) { d.d3dDevice = &mock; }

    // Runs body with the debug log captured; returns the log.
    template <typename Body> std::string logOf(Body body) {
        ::testing::internal::CaptureStderr();
        try {
            body();
        } catch (...) {
            ::testing::internal::GetCapturedStderr();
            throw;
        }
        return ::testing::internal::GetCapturedStderr();
    }
    std::unique_ptr<mesh> cube(int budget) {
        std::unique_ptr<mesh> m;
        logOf([&] { m = gen.createCube(budget, true, 1, false); });
        return m;
    }
    std::unique_ptr<mesh> sphere(int budget, float amount) {
        std::unique_ptr<mesh> m;
        logOf([&] { m = gen.createSphere(budget, amount, true, 1, false); });
        return m;
    }

    NiceMock<dx::test::Device> mock;
    device d;
    genmesh gen;
};

std::vector<int> indicesOf(mesh& m) {
    std::vector<int> out;
    for (int i = 0; i < m.indices->indexCount; ++i) {
        out.push_back(*m.indices->indexAt(i));
    }
    return out;
}

// The lines of `log` that appear in `wanted`, in their order.
std::vector<std::string> linesAmong(const std::string& log, const std::vector<std::string>& wanted) {
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        for (const std::string& w : wanted) {
            if (line == w) {
                out.push_back(line);
            }
        }
    }
    return out;
}

TEST_F(GenmeshTest, CubesFollowTheBudgetAndAreClosedAndWoundOutward) {
    // n = floor(sqrt(budget / 12)); (6n + 2)(n + 1) vertices, 36 n^2 indices.
    struct Case {
        int budget;
        int vertices;
        int indices;
    };
    for (const Case c : {Case{12, 16, 36}, Case{200, 130, 576}, Case{2000, 962, 5184}, Case{4000, 2090, 11664}}) {
        SCOPED_TRACE(c.budget);
        auto m = cube(c.budget);
        EXPECT_EQ(std::pair(m->vertices->vertexCount, m->indices->indexCount), std::pair(c.vertices, c.indices));
        EXPECT_TRUE(m->indexed);
        const auto idx = indicesOf(*m);
        for (int index : idx) {
            ASSERT_LT(index, c.vertices);
        }
        // Every edge in both directions exactly once: the two bands meet
        // along all four seams and wind the same way.
        const geometry::test::Topology t = geometry::test::topologyOfIndices(idx);
        EXPECT_EQ(std::pair(t.openEdges, t.euler()), std::pair(std::size_t{0}, 2L));
        // Each triangle's normal (p0 - p1) x (p0 - p2) points away from the centre.
        for (std::size_t i = 0; i < idx.size(); i += 3) {
            const float* p0 = m->vertices->position(idx[i], false);
            const float* p1 = m->vertices->position(idx[i + 1], false);
            const float* p2 = m->vertices->position(idx[i + 2], false);
            const float a[3] = {p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]};
            const float b[3] = {p0[0] - p2[0], p0[1] - p2[1], p0[2] - p2[2]};
            const float n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
            ASSERT_GT(n[0] * p0[0] + n[1] * p0[1] + n[2] * p0[2], 0.0f) << "triangle " << i / 3;
        }
    }
}

TEST_F(GenmeshTest, ABudgetBelowTwelveRaisesWithTheSourceAndLine) {
    ASSERT_THROW(cube(11), qtv_d3d::exception);
    EXPECT_EQ(std::tuple(std::string(errorRecord.message), std::string(errorRecord.file), errorRecord.line),
              std::tuple("keffo biatch, add more pollys, cheap bastard", "genmesh", 33));
}

TEST_F(GenmeshTest, BandTwoBorderVerticesWeldOntoBandOne) {
    auto m = cube(12);
    // n = 1: band 1 is vertices 0..7, and every quad of band 2 lies on its border.
    const auto idx = indicesOf(*m);
    for (std::size_t i = 18; i < idx.size(); ++i) {
        EXPECT_LT(idx[i], 8) << i;
    }
    // Band 2's own vertex 8 is (1, 1, 1), the same place as band 1's vertex 1.
    const float* own = m->vertices->position(8, true);
    EXPECT_EQ(std::vector<float>(own, own + 3), std::vector<float>(3, 1.0f));
    EXPECT_EQ(idx[18], 1);
}

TEST_F(GenmeshTest, FaceVerticesTakeTheFaceNormal) {
    auto m = cube(200);
    int checked = 0;
    for (int v = 0; v < m->vertices->vertexCount; ++v) {
        const float* p = m->vertices->position(v, false);
        int onFace = 0;
        int axis = 0;
        for (int a = 0; a < 3; ++a) {
            if (std::fabs(p[a]) == 1.0f) {
                ++onFace;
                axis = a;
            }
        }
        if (onFace != 1) {
            continue; // on a cube edge or corner
        }
        const float* n = m->vertices->normal(v, false);
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(n[a], a == axis ? p[a] : 0.0f, 1e-6f) << "vertex " << v;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 6 * 3 * 3);
}

TEST_F(GenmeshTest, SphereOfAmountOneLiesOnTheUnitSphereWithOutwardNormals) {
    auto m = sphere(4000, 1.0f);
    // Band-2 border vertices welded away belong to no triangle and keep a zero normal.
    for (int v : indicesOf(*m)) {
        const float* p = m->vertices->position(v, false);
        const float* n = m->vertices->normal(v, false);
        const double length = std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]);
        ASSERT_NEAR(length, 1.0, 2e-7) << v;
        ASSERT_GT(n[0] * p[0] + n[1] * p[1] + n[2] * p[2], 0.99f) << v;
    }
    // What was uploaded is the working copy.
    ASSERT_FALSE(mock.vertexBuffers.empty());
    const auto& working = m->vertices->vertices;
    EXPECT_EQ(mock.vertexBuffers[0]->bytes, std::vector<std::uint8_t>(working.begin(), working.end()));
}

TEST_F(GenmeshTest, SpherifyBlendsTowardsTheSphere) {
    mesh m(&d, 3, 3, true, 1, false);
    const float points[3][3] = {{2, 0, 0}, {0, 0.5f, 0}, {0, 0, 4}};
    for (int v = 0; v < 3; ++v) {
        std::copy(points[v], points[v] + 3, m.vertices->position(v, true));
        *m.indices->indexAt(v) = static_cast<std::uint16_t>(v);
    }
    gen.spherify(m, 1.5f, true);
    // s = 2.25 / |p| - 0.5
    EXPECT_FLOAT_EQ(m.vertices->position(0, true)[0], 2.0f * (2.25f / 2.0f - 0.5f));
    EXPECT_FLOAT_EQ(m.vertices->position(1, true)[1], 0.5f * (2.25f / 0.5f - 0.5f));
    EXPECT_FLOAT_EQ(m.vertices->position(2, true)[2], 4.0f * (2.25f / 4.0f - 0.5f));
}

struct TexCase {
    const char* name;
    geometry::TexCoordMode mode;
    float point[3];
    int corner; // the point's corner in the triangle
    float a, b, c;
};

TEST_F(GenmeshTest, TextureCoordinatesOfEachMode) {
    const double pi = 3.14159265358979;
    const auto su = static_cast<float>((std::atan2(0.0, 1.0) + pi / 2) / pi);
    const auto sv = static_cast<float>((std::atan2(0.6, 0.8) + pi / 2) / (2 * pi));
    // Values before offset and scale, worked out from each mode's rule.
    const TexCase cases[] = {
        {"spherical pole", geometry::TexCoordMode::spherical, {0, 1, 0}, 0, 1.0f, 0.25f, 0.25f},
        {"spherical +x", geometry::TexCoordMode::spherical, {1, 0, 0}, 1, 0.5f, 0.5f, 0.5f},
        {"spherical", geometry::TexCoordMode::spherical, {0.6f, 0.0f, -0.8f}, 2, su, sv, sv},
        {"fixed corner 0", geometry::TexCoordMode::fixed, {3, 4, 5}, 0, 0, 0, 0},
        {"fixed corner 1", geometry::TexCoordMode::fixed, {3, 4, 5}, 1, 1, 0, 0},
        {"fixed corner 2", geometry::TexCoordMode::fixed, {3, 4, 5}, 2, 1, 1, 1},
        {"cylindrical", geometry::TexCoordMode::cylindrical, {-1, 1, 3}, 0, static_cast<float>(3 * pi / 4), 0.3f, 0.1f},
        {"box x dominant", geometry::TexCoordMode::box, {-2, 1, 0.5f}, 0, 0.05f, 0.1f, -0.2f},
        {"box z dominant", geometry::TexCoordMode::box, {0.5f, 1, -2}, 1, 0.05f, 0.1f, -0.2f},
        {"box y dominant", geometry::TexCoordMode::box, {0.5f, -2, 1}, 2, 0.05f, 0.1f, -0.2f},
    };
    // Into the rest copy, and into the working copy as createSphere asks; the other copy keeps its zeros.
    for (const bool rest : {true, false}) {
        for (const TexCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (rest ? " (rest)" : " (working)"));
            mesh m(&d, 3, 3, true, 1, false);
            for (int v = 0; v < 3; ++v) {
                *m.indices->indexAt(v) = static_cast<std::uint16_t>(v);
            }
            std::copy(c.point, c.point + 3, m.vertices->position(c.corner, false));
            // Offsets 1 and 3 and scales 2 and 4 tell the three values apart.
            gen.computeTexCoords(m, c.mode, 0, rest, 1.0f, 3.0f, 2.0f, 4.0f);
            const float* t = m.vertices->texCoord(0, c.corner, rest);
            EXPECT_NEAR(t[0], (1.0f + c.a) * 2.0f, 1e-5f);
            EXPECT_NEAR(t[1], (3.0f + c.b) * 4.0f, 1e-5f);
            EXPECT_NEAR(t[2], (3.0f + c.c) * 4.0f, 1e-5f);
            EXPECT_EQ(m.vertices->texCoord(0, c.corner, !rest)[0], 0.0f);
        }
    }
}

TEST_F(GenmeshTest, ASharedVertexKeepsTheLastTrianglesValues) {
    mesh m(&d, 4, 6, true, 1, false);
    const int idx[6] = {0, 1, 2, 3, 0, 1};
    for (int i = 0; i < 6; ++i) {
        *m.indices->indexAt(i) = static_cast<std::uint16_t>(idx[i]);
    }
    // Vertex 0 is corner 0 of the first triangle and corner 1 of the second.
    gen.computeTexCoords(m, geometry::TexCoordMode::fixed, 0, false, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(m.vertices->texCoord(0, 0, false)[0], 1.0f);
}

TEST_F(GenmeshTest, LogLinesOfCubeAndSphereInOrder) {
    const std::vector<std::string> ours = {"generating alcastone",
                                           "new mesh",
                                           "new vb",
                                           "new ib",
                                           "identity",
                                           "mesh created",
                                           "jox satanas",
                                           "joxat satanas",
                                           "spherifys alcastone",
                                           "resettar bob",
                                           "calcar normals",
                                           "calcar texcoords",
                                           "updates",
                                           "returns"};
    std::unique_ptr<mesh> m;
    const std::string log = logOf([&] { m = gen.createSphere(12, 1.0f, true, 1, false); });
    EXPECT_EQ(linesAmong(log, ours), ours);
    EXPECT_NE(log.find("vb creating .. 1"), std::string::npos);
}

TEST_F(GenmeshTest, BudgetsBeyondOnePieceOfIndicesSpillIntoTheNext) {
    // n = 43: 66,564 indices, one more piece than the first 65,535 hold.
    auto m = cube(12 * 43 * 43);
    ASSERT_EQ(m->indices->bufferCount, 2);
    EXPECT_EQ(m->indices->chunkIndexCount[1], 66564 - 65535);
    const auto t = geometry::test::topologyOfIndices(indicesOf(*m));
    EXPECT_EQ(std::pair(t.openEdges, t.euler()), std::pair(std::size_t{0}, 2L));
}

TEST_F(GenmeshTest, VeryLargeBudgetsStopWhereSixteenBitIndicesEnd) {
    // n = 104 would need 65,730 vertices; 103 needs 64,480.
    auto m = cube(12 * 110 * 110);
    EXPECT_EQ(std::pair(m->vertices->vertexCount, m->indices->indexCount), std::pair(64480, 36 * 103 * 103));
}

TEST_F(GenmeshTest, DrawSetsTheWorldAndDrawsTheIndicesOrTheTriangles) {
    auto m = cube(12);
    m->world.m[3][0] = 5.0f;
    {
        ::testing::InSequence order;
        EXPECT_CALL(mock,
                    SetTransform(D3DTS_WORLD, ::testing::Truly([](const D3DMATRIX* w) { return w->m[3][0] == 5.0f; })));
        EXPECT_CALL(mock, DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 16, 0, 12));
    }
    m->draw();

    mesh plain(&d, 9, 0, true, 1, false);
    EXPECT_FALSE(plain.indexed);
    EXPECT_EQ(plain.indices, nullptr);
    EXPECT_CALL(mock, SetTransform(D3DTS_WORLD, _));
    EXPECT_CALL(mock, DrawPrimitive(D3DPT_TRIANGLELIST, 0, 3));
    plain.draw();
}

} // namespace
