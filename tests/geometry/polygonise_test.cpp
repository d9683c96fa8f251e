// Marching cubes: the tables, closed surfaces, crossings and gradients,
// empty fields, the record limit, and buildMesh / drawMesh.
#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "geometry/mctables.h"
#include "geometry/metamecklo.h"
#include "tests/dx/fakedevice.h"
#include "tests/geometry/surface.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using ::testing::_;

namespace {

using PolygoniseTest = geometry::test::MetaballTest;

std::vector<geometry::test::Point> cornersOf(const std::vector<TriangleRecord>& records, int count) {
    std::vector<geometry::test::Point> out;
    for (int t = 0; t < count; ++t) {
        for (const auto& v : records[static_cast<std::size_t>(t)].vertex) {
            out.push_back({v[0], v[1], v[2]});
        }
    }
    return out;
}

TEST(McTables, EveryTriangleEdgeIsCrossedAndEveryCrossedEdgeIsUsed) {
    for (int c = 0; c < 256; ++c) {
        unsigned used = 0;
        int i = 0;
        for (; geometry::kMcTriangleTable[c][i] != -1; ++i) {
            ASSERT_LT(i, 15) << "case " << c;
            used |= 1u << geometry::kMcTriangleTable[c][i];
        }
        EXPECT_EQ(i % 3, 0) << "case " << c;
        EXPECT_EQ(used, geometry::kMcEdgeTable[c]) << "case " << c;
        // Crossed means the edge's corners lie on different sides of the level.
        for (int e = 0; e < 12; ++e) {
            const bool a = (c >> geometry::kMcEdgeCorners[e][0]) & 1;
            const bool b = (c >> geometry::kMcEdgeCorners[e][1]) & 1;
            EXPECT_EQ(((geometry::kMcEdgeTable[c] >> e) & 1) != 0, a != b) << "case " << c << " edge " << e;
        }
    }
    // Entries as published.
    const auto& edges = geometry::kMcEdgeTable;
    EXPECT_EQ((std::array{edges[1], edges[3], edges[17], edges[128], edges[255]}),
              (std::array<std::uint16_t, 5>{0x109, 0x30a, 0x99, 0x8c0, 0}));
    const auto& case3 = geometry::kMcTriangleTable[3];
    EXPECT_EQ(std::vector<int>(case3.begin(), case3.begin() + 7), (std::vector<int>{1, 8, 3, 9, 8, 1, -1}));
}

TEST_F(PolygoniseTest, RandomFieldsInsideAClearedBorderGiveClosedConsistentlyWoundSurfaces) {
    // Cells of 0 or 1 at level 0.5 exercise nearly every case; any wrong or
    // misordered table entry leaves an edge open or wound twice one way. The
    // cleared border is two cells deep at low x: cubes read one cell further
    // along x, so no cube has a corner on the cells x = 0.
    std::mt19937 random(5);
    isoLevel = 0.5f;
    for (int round = 0; round < 20; ++round) {
        FieldGrid g(9, 9, 9);
        for (int z = 1; z < 8; ++z) {
            for (int y = 1; y < 8; ++y) {
                for (int x = 2; x < 8; ++x) {
                    g.at(x, y, z) = (random() & 1) != 0 ? 1.0f : 0.0f;
                }
            }
        }
        std::vector<TriangleRecord> records(4000);
        const int count = polygonise(g, records, 1.0f);
        ASSERT_GT(count, 0);
        const geometry::test::Topology t = geometry::test::topologyOf(cornersOf(records, count));
        EXPECT_EQ(t.openEdges, 0u) << "round " << round;
    }
}

TEST_F(PolygoniseTest, ASingleBallGivesAClosedSphereWithOutwardNormals) {
    auto m = make(40, true);
    m->setIsoLevel(0.25f);
    const float centre[3] = {0.5f, 0.5f, 0.5f};
    m->addSignedBall(0.2f, 1.0f, centre);
    m->clearBorders();
    const int count = m->buildMesh();
    ASSERT_GT(count, 100);
    EXPECT_EQ(m->meshVertexCount, 3 * count);
    vertexbuffer& vb = *m->vertices;
    std::vector<geometry::test::Point> corners;
    for (int v = 0; v < 3 * count; ++v) {
        corners.push_back({vb.position(v, false)[0], vb.position(v, false)[1], vb.position(v, false)[2]});
    }
    const geometry::test::Topology t = geometry::test::topologyOf(corners);
    EXPECT_EQ(std::pair(t.openEdges, t.euler()), std::pair(std::size_t{0}, 2L));

    // Cell i sits at (i - n/2) * scale, one cell further along x (corner 0 is
    // read at x + 1): the centre cell 19.5 lands at (-1.5, -0.5, -0.5) cells.
    const float scale = 5.0f / 40.0f;
    const float c[3] = {-1.5f * scale, -0.5f * scale, -0.5f * scale};
    for (int tri = 0; tri < count; ++tri) {
        const float* p[3] = {vb.position(3 * tri, false), vb.position(3 * tri + 1, false),
                             vb.position(3 * tri + 2, false)};
        const float a[3] = {p[0][0] - p[1][0], p[0][1] - p[1][1], p[0][2] - p[1][2]};
        const float b[3] = {p[0][0] - p[2][0], p[0][1] - p[2][1], p[0][2] - p[2][2]};
        const float face[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        for (int k = 0; k < 3; ++k) {
            const float* n = vb.normal(3 * tri + k, false);
            const float r[3] = {p[k][0] - c[0], p[k][1] - c[1], p[k][2] - c[2]};
            const float rl = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
            ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f);
            ASSERT_GT((n[0] * r[0] + n[1] * r[1] + n[2] * r[2]) / rl, 0.9f) << "triangle " << tri;
            // Wound as the generated meshes are: (p0 - p1) x (p0 - p2) along the normal.
            ASSERT_GT(face[0] * n[0] + face[1] * n[1] + face[2] * n[2], 0.0f) << "triangle " << tri;
            // u and v carry the unnormalised negated gradient.
            const float* uv = vb.texCoord(0, 3 * tri + k, false);
            const float gl = std::sqrt(uv[0] * uv[0] + uv[1] * uv[1]);
            if (gl > 1e-3f) {
                ASSERT_NEAR(uv[0] * n[1] - uv[1] * n[0], 0.0f, 1e-4f * gl);
            }
        }
    }
    // The field is cleared: the next frame starts empty.
    EXPECT_EQ(m->buildMesh(), 0);
    EXPECT_EQ(m->meshVertexCount, 0);
}

TEST_F(PolygoniseTest, ACrossingHalfwayAlongEdgeZero) {
    // 4 x 3 x 3, level 1, every cell 0 except (2, 0, 0) = 2. Cube (0, 0, 0)
    // reads that cell as its corner 1 (one further along x), so only corner 1
    // lies at or above the level: case 253, edges 0, 9, 1, each crossed halfway.
    FieldGrid g(4, 3, 3);
    g.at(2, 0, 0) = 2.0f;
    isoLevel = 1.0f;
    std::vector<TriangleRecord> records(16);
    const int count = polygonise(g, records, 1.0f);
    ASSERT_EQ(count, 2); // cubes (0, 0, 0) and (1, 0, 0) read the cell
    // Corner positions start at (-2, -1.5, -1.5) for cube (0, 0, 0).
    const float expected[3][3] = {{-1.5f, -1.5f, -1.5f}, {-1.0f, -1.5f, -1.0f}, {-1.0f, -1.0f, -1.5f}};
    for (int k = 0; k < 3; ++k) {
        for (int a = 0; a < 3; ++a) {
            EXPECT_FLOAT_EQ(records[0].vertex[k][a], expected[k][a]) << k << " " << a;
        }
    }
    // Gradient at corner 0's cell (1, 0, 0) is (2 - 0, 0, 0), at corner 1's
    // cell (0 - 0, 0, 0): halfway (1, 0, 0), stored negated.
    EXPECT_EQ((std::array{records[0].vertex[0][3], records[0].vertex[0][4], records[0].vertex[0][5]}),
              (std::array{-1.0f, 0.0f, 0.0f}));

    // Scale multiplies positions only.
    const int scaled = polygonise(g, records, 0.5f);
    ASSERT_EQ(scaled, 2);
    EXPECT_FLOAT_EQ(records[0].vertex[0][0], -0.75f);
    EXPECT_FLOAT_EQ(records[0].vertex[0][3], -1.0f);
}

TEST_F(PolygoniseTest, UniformFieldsGiveNothingAndDrawNothing) {
    auto m = make(12, true);
    FieldGrid& g = m->currentGrid();
    // Everywhere below the level.
    m->setIsoLevel(0.5f);
    std::fill(g.values, g.values + g.cellCount(), 0.25f);
    EXPECT_EQ(m->buildMesh(), 0);
    // Everywhere at the level (what lies past the last cell reads as 0, at the level too).
    m->setIsoLevel(0.0f);
    EXPECT_EQ(m->buildMesh(), 0);
    std::fill(g.values, g.values + g.cellCount(), 3.0f);
    EXPECT_EQ(m->buildMesh(), 0);
    EXPECT_CALL(mock, DrawPrimitive(_, _, _)).Times(0);
    m->drawMesh();
}

TEST_F(PolygoniseTest, RecordsStopAtTheRoomGivenKeepingTheFirst) {
    FieldGrid g(9, 9, 9);
    std::mt19937 random(11);
    for (int z = 1; z < 8; ++z) {
        for (int y = 1; y < 8; ++y) {
            for (int x = 1; x < 8; ++x) {
                g.at(x, y, z) = static_cast<float>(random() & 1);
            }
        }
    }
    isoLevel = 0.5f;
    std::vector<TriangleRecord> all(4000);
    const int total = polygonise(g, all, 1.0f);
    ASSERT_GT(total, 40);
    std::vector<TriangleRecord> few(41);
    few[40].vertex[0][0] = 123.0f;
    EXPECT_EQ(polygonise(g, std::span<TriangleRecord>(few.data(), 40), 1.0f), 40);
    EXPECT_EQ(few[40].vertex[0][0], 123.0f);
    EXPECT_EQ(std::memcmp(few.data(), all.data(), 40 * sizeof(TriangleRecord)), 0);
}

TEST_F(PolygoniseTest, PoolsKeepTheirSizeOrFollowTheMesh) {
    const float centre[3] = {0.5f, 0.5f, 0.5f};
    auto full = make(20, false);
    full->setIsoLevel(0.25f);
    full->addSignedBall(0.2f, 1.0f, centre);
    ::testing::internal::CaptureStderr();
    const int n = full->buildMesh();
    ::testing::internal::GetCapturedStderr();
    ASSERT_GT(n, 0);
    EXPECT_EQ(full->vertices->vertexCount, 3 * n);

    auto compact = make(20, true);
    compact->setIsoLevel(0.25f);
    compact->addSignedBall(0.2f, 1.0f, centre);
    EXPECT_EQ(compact->buildMesh(), n);
    EXPECT_EQ(compact->vertices->vertexCount, 150000);
    EXPECT_EQ(compact->meshVertexCount, 3 * n);
    // The compact pool's dynamic buffer received the mesh.
    const auto& hw = *static_cast<dx::test::VertexBuffer*>(compact->vertices->buffers[0]);
    EXPECT_EQ(0, std::memcmp(hw.bytes.data(), compact->vertices->vertices.data(), 3u * n * 36u));

    compact->world.m[3][1] = 2.0f;
    {
        ::testing::InSequence order;
        EXPECT_CALL(mock,
                    SetTransform(D3DTS_WORLD, ::testing::Truly([](const D3DMATRIX* w) { return w->m[3][1] == 2.0f; })));
        EXPECT_CALL(mock, DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(n)));
    }
    compact->drawMesh();
}

} // namespace
