// Vertex and index pools against a mock device: the split into hardware
// buffers, uploads, draws, declarations and the welding pass.
#include "dx/dxdevice.h"
#include "dx/dxindexbuffer.h"
#include "dx/dxvertexbuffer.h"
#include "errors/errors.h"
#include "tests/dx/fakedevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::_;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

// Pools log as they work: the log is captured from the start of each test,
// for the tests that read it and out of the way of the others.
class PoolTest : public ::testing::Test {
  protected:
    PoolTest() {
        d.d3dDevice = &mock;
        ::testing::internal::CaptureStderr();
    }
    ~PoolTest() override { ::testing::internal::GetCapturedStderr(); }

    // What was logged since the test began or since the last call.
    static std::string logSoFar() {
        std::string log = ::testing::internal::GetCapturedStderr();
        ::testing::internal::CaptureStderr();
        return log;
    }

    NiceMock<dx::test::Device> mock;
    device d;
};

TEST_F(PoolTest, SplitsAt65535Vertices) {
    struct Case {
        int vertices;
        std::vector<int> chunks;
    };
    const Case cases[] = {
        {65535, {65535}}, {65536, {65535, 1}}, {131070, {65535, 65535}}, {100000, {65535, 34465}}, {1, {1}},
    };
    for (const Case& c : cases) {
        NiceMock<dx::test::Device> local;
        device owner;
        owner.d3dDevice = &local;
        const auto pool = std::make_unique<vertexbuffer>(&owner, c.vertices, true, 1, false, true);
        const std::string log = logSoFar();
        ASSERT_EQ(pool->bufferCount, static_cast<int>(c.chunks.size())) << c.vertices;
        ASSERT_EQ(local.vertexBuffers.size(), c.chunks.size());
        for (std::size_t b = 0; b < c.chunks.size(); ++b) {
            EXPECT_EQ(pool->chunkVertexCount[b], c.chunks[b]) << c.vertices;
            EXPECT_EQ(local.vertexBuffers[b]->bytes.size(), static_cast<std::size_t>(c.chunks[b]) * 36u);
            EXPECT_EQ(local.vertexBuffers[b]->usage, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
        }
        if (c.chunks.size() > 1) {
            const std::string leftover = "leftovers = " + std::to_string(c.chunks.back()) + "\n";
            EXPECT_NE(log.find("nr vertexbuffers = 2\n"), std::string::npos) << log;
            EXPECT_NE(log.find(leftover), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("leftovers"), std::string::npos) << log;
        }
    }
}

TEST_F(PoolTest, ConstructorLogsInItsOrder) {
    const vertexbuffer pool(&d, 10, false, 1, false, false);
    const std::string log = logSoFar();
    EXPECT_EQ(log, "vb creating .. 1\nvb creating .. 2\ntotal bytesize = 360\nvb creating .. 3\n"
                   "vb creating .. 2\nvb creating .. 3\nvb creating .. 4\nvb creating .. 5\n");
}

TEST_F(PoolTest, PoolsOfMoreThanTenBuffersAreRefused) {
    EXPECT_THROW(vertexbuffer(&d, 10 * 65535 + 1, false, 1, false, true), qtv_d3d::exception);
    EXPECT_STREQ(errorRecord.message, "auto throw(logic)");
    EXPECT_STREQ(errorRecord.file, "dxvertexbuffer");
    vertexbuffer largest(&d, 10 * 65535, false, 1, false, true);
    EXPECT_EQ(largest.bufferCount, 10);
}

TEST_F(PoolTest, DeclarationAndStrideWithAndWithoutColour) {
    vertexbuffer plain(&d, 3, false, 1, false, false);
    vertexbuffer coloured(&d, 3, false, 1, true, false);
    EXPECT_EQ((std::array{plain.stride, coloured.stride, plain.texCoordOffset, coloured.texCoordOffset}),
              (std::array{36u, 40u, 24u, 28u}));
    ASSERT_EQ(mock.declarations.size(), 2u);
    // Stream, offset, type and usage of each element, up to D3DDECL_END.
    using Element = std::tuple<int, int, int, int>;
    const auto elements = [&](std::size_t i) {
        std::vector<Element> out;
        for (const D3DVERTEXELEMENT9& e : mock.declarations[i]->elements) {
            out.emplace_back(e.Stream, e.Offset, e.Type, e.Usage);
        }
        return out;
    };
    const Element position{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION};
    const Element normal{0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL};
    const Element end{0xFF, 0, D3DDECLTYPE_UNUSED, 0};
    EXPECT_EQ(elements(0),
              (std::vector<Element>{position, normal, {0, 24, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD}, end}));
    EXPECT_EQ(elements(1), (std::vector<Element>{position,
                                                 normal,
                                                 {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR},
                                                 {0, 28, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD},
                                                 end}));
}

TEST_F(PoolTest, UploadCopiesEachChunkWithNoOverwriteWhenDynamic) {
    vertexbuffer pool(&d, 65536, true, 1, false, true);
    for (int i : {0, 65534, 65535}) {
        pool.position(i, false)[0] = static_cast<float>(i) + 0.5f;
    }
    pool.upload(123);
    const auto x = [&](std::size_t buffer, std::size_t vertex) {
        float f = 0;
        std::memcpy(&f, mock.vertexBuffers[buffer]->bytes.data() + vertex * 36, 4);
        return f;
    };
    EXPECT_EQ((std::array{x(0, 0), x(0, 65534), x(1, 0)}), (std::array{0.5f, 65534.5f, 65535.5f}));
    for (const auto& vb : mock.vertexBuffers) {
        EXPECT_EQ(std::pair(vb->lockFlags, vb->unlocks), std::pair(std::vector<DWORD>{D3DLOCK_NOOVERWRITE}, 1));
    }
    vertexbuffer still(&d, 3, false, 1, false, true);
    still.upload(0);
    EXPECT_EQ(std::pair(mock.vertexBuffers.back()->lockFlags, mock.vertexBuffers.back()->usage),
              std::pair(std::vector<DWORD>{0u}, static_cast<DWORD>(D3DUSAGE_WRITEONLY)));
}

TEST_F(PoolTest, EmptyPoolHasNoBufferAndDrawsNothing) {
    EXPECT_CALL(mock, CreateVertexBuffer(_, _, _, _, _, _)).Times(0);
    EXPECT_CALL(mock, DrawPrimitive(_, _, _)).Times(0);
    vertexbuffer pool(&d, 0, true, 1, false, true);
    EXPECT_EQ(pool.bufferCount, 0);
    pool.upload(0);
    pool.drawTriangles(-1);
    pool.drawPoints();
    pool.computeBounds();
    EXPECT_EQ(pool.boxMin[0], 0.0f);
}

TEST_F(PoolTest, AllTrianglesOfNinetyThousandVertices) {
    vertexbuffer pool(&d, 90000, false, 1, false, true);
    InSequence order;
    EXPECT_CALL(mock, SetStreamSource(0, mock.vertexBuffers[0].get(), 0, 36));
    EXPECT_CALL(mock, DrawPrimitive(D3DPT_TRIANGLELIST, 0, 21845));
    EXPECT_CALL(mock, SetStreamSource(0, mock.vertexBuffers[1].get(), 0, 36));
    EXPECT_CALL(mock, DrawPrimitive(D3DPT_TRIANGLELIST, 0, 8155));
    pool.drawTriangles(-1);
}

TEST_F(PoolTest, PartialTriangleCountsAndAllPointsDrawFromTheFirstBuffer) {
    vertexbuffer pool(&d, 90000, false, 1, false, true);
    EXPECT_CALL(mock, DrawPrimitive(D3DPT_TRIANGLELIST, 0, 100));
    EXPECT_CALL(mock, DrawPrimitive(D3DPT_POINTLIST, 0, 65535));
    pool.drawTriangles(100);
    pool.drawPoints();
}

TEST_F(PoolTest, DrawFailuresRaiseWithTheirLines) {
    vertexbuffer one(&d, 30, false, 1, false, true);
    vertexbuffer two(&d, 70000, false, 1, false, true);
    ON_CALL(mock, DrawPrimitive(_, _, _)).WillByDefault(Return(D3DERR_INVALIDCALL));
    EXPECT_THROW(one.drawTriangles(-1), qtv_d3d::exception);
    EXPECT_EQ(errorRecord.line, 289);
    EXPECT_THROW(two.drawTriangles(-1), qtv_d3d::exception);
    EXPECT_EQ(errorRecord.line, 282);
    EXPECT_THROW(one.drawPoints(), qtv_d3d::exception);
    EXPECT_EQ(errorRecord.line, 262);
    EXPECT_STREQ(errorRecord.file, "dxvertexbuffer");
}

TEST_F(PoolTest, SetVertexCountKeepsLeadingVerticesAndRemakesBuffers) {
    vertexbuffer pool(&d, 6, false, 1, false, true);
    pool.position(5, true)[1] = 42.0f;
    pool.markVertex(2);
    pool.setVertexCount(70000);
    EXPECT_EQ(pool.position(5, true)[1], 42.0f);
    EXPECT_EQ(std::tuple(pool.vertexFlags[2], pool.bufferCount, pool.byteSize),
              (std::tuple<std::uint8_t, std::int32_t, std::uint32_t>(0, 2, 70000u * 36u)));
    EXPECT_EQ(mock.vertexBuffers.size(), 3u);
    EXPECT_EQ(mock.vertexBuffers[0]->references, 0u);
    const std::string log = logSoFar();
    EXPECT_NE(log.find("SET NR VERTICES =  70000\n"), std::string::npos);
}

// Both copies start as zeros and grow with zeros after the kept vertices,
// even where the memory was just used and freed by something else, so that
// what goes to the hardware never depends on what the heap held before.
TEST_F(PoolTest, PoolsStartAndGrowAsZeros) {
    for (const int grown : {600, 70000}) {
        vertexbuffer pool(&d, 6, false, 1, false, false);
        pool.position(5, false)[0] = 7.0f;
        pool.position(5, true)[2] = 9.0f;
        const std::size_t bytes = static_cast<std::size_t>(grown) * pool.stride;
        for (int round = 0; round < 4; ++round) {
            std::vector<std::uint8_t>* dirty = new std::vector<std::uint8_t>(bytes, 0xCD);
            delete dirty;
        }
        pool.setVertexCount(grown);
        EXPECT_EQ(pool.position(5, false)[0], 7.0f);
        EXPECT_EQ(pool.position(5, true)[2], 9.0f);
        const std::size_t kept = 6u * pool.stride;
        for (const auto* copy : {&pool.vertices, &pool.restVertices}) {
            ASSERT_EQ(copy->size(), bytes);
            EXPECT_EQ(std::count(copy->begin() + static_cast<std::ptrdiff_t>(kept), copy->end(), 0),
                      static_cast<std::ptrdiff_t>(bytes - kept))
                << grown << " vertices";
        }
    }
}

TEST_F(PoolTest, BoundsCoverEveryWorkingPosition) {
    vertexbuffer pool(&d, 3, false, 1, false, false);
    const float p[3][3] = {{1, -2, 3}, {-4, 5, 0}, {2, 2, 9}};
    for (int i = 0; i < 3; ++i) {
        std::memcpy(pool.position(i, false), p[i], sizeof p[i]);
        std::memcpy(pool.position(i, true), p[0], sizeof p[0]);
    }
    pool.computeBounds();
    EXPECT_EQ(std::to_array(pool.boxMin), (std::array{-4.0f, -2.0f, 0.0f}));
    EXPECT_EQ(std::to_array(pool.boxMax), (std::array{2.0f, 5.0f, 9.0f}));
    pool.resetToRest();
    EXPECT_EQ(pool.position(1, false)[0], 1.0f);
    *pool.texCoord(4, 2, false) = 0.75f;
    float v = 0;
    std::memcpy(&v, pool.vertices.data() + 2 * 36 + 24 + 4, 4);
    EXPECT_EQ(v, 0.75f);
}

TEST_F(PoolTest, IndexPiecesAndTheirAddresses) {
    const indexbuffer one(&d, 65535);
    indexbuffer two(&d, 65536);
    EXPECT_EQ(std::tuple(one.bufferCount, two.bufferCount, two.chunkIndexCount[0], two.chunkIndexCount[1]),
              (std::tuple<std::int32_t, std::int32_t, std::uint16_t, std::uint16_t>(1, 2, 65535, 1)));
    EXPECT_EQ(two.indexAt(65535), two.indexArray(1));
    EXPECT_EQ(two.indexAt(65534), two.indexArray(0) + 65534);
    const std::string log = logSoFar();
    EXPECT_NE(log.find("creating 2 indexbuffers\ncreating indexbuffer 0, nr indexes for this = 65535\n"
                       "creating indexbuffer 1, nr indexes for this = 1\nindexbuffers created\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("nr indexbuffers = 2\nleftovers = 1\n"), std::string::npos) << log;
    ASSERT_EQ(mock.indexBuffers.size(), 3u);
    EXPECT_EQ(std::pair(mock.indexBuffers[1]->bytes.size(), mock.indexBuffers[2]->bytes.size()),
              (std::pair<std::size_t, std::size_t>(131070, 2)));
}

TEST_F(PoolTest, ListsOfMoreThanTenPiecesAreRefused) {
    EXPECT_THROW(indexbuffer(&d, 10 * 65535 + 1), qtv_d3d::exception);
    EXPECT_STREQ(errorRecord.message, "auto throw(logic)");
    EXPECT_STREQ(errorRecord.file, "dxindexbuffer");
}

TEST_F(PoolTest, IndexedDrawIssuesOneDrawPerPieceAgainstTheFirstVertexBuffer) {
    vertexbuffer pool(&d, 300, false, 1, false, true);
    indexbuffer list(&d, 65535 + 30);
    list.setVertices(&pool);
    InSequence order;
    EXPECT_CALL(mock, SetStreamSource(0, mock.vertexBuffers[0].get(), 0, 36));
    EXPECT_CALL(mock, SetIndices(mock.indexBuffers[0].get()));
    EXPECT_CALL(mock, DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 300, 0, 21845));
    EXPECT_CALL(mock, SetIndices(mock.indexBuffers[1].get()));
    EXPECT_CALL(mock, DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 300, 0, 10));
    list.draw();
}

TEST_F(PoolTest, WeldJoinsCloseVerticesWithinAPieceOnly) {
    vertexbuffer pool(&d, 8, false, 1, false, false);
    // Vertices 0 and 1 coincide; 2 is 0.3 (summed) away from 0; 3 stands alone.
    const float p[4][3] = {{0, 0, 0}, {0, 0, 0}, {0.1f, 0.1f, 0.1f}, {5, 5, 5}};
    for (int i = 0; i < 4; ++i) {
        std::memcpy(pool.position(i, true), p[i], sizeof p[i]);
        std::memcpy(pool.position(i, false), p[3], sizeof p[3]);
    }
    indexbuffer list(&d, 6);
    list.setVertices(&pool);
    const std::uint16_t in[6] = {0, 3, 1, 2, 3, 3};
    std::memcpy(list.indexArray(0), in, sizeof in);

    list.weld(0.0f, true);
    const std::uint16_t exact[6] = {0, 3, 0, 2, 3, 3};
    EXPECT_EQ(std::memcmp(list.indexArray(0), exact, sizeof exact), 0);
    EXPECT_EQ(std::pair(pool.vertexFlags[1], pool.vertexFlags[2]), (std::pair<std::uint8_t, std::uint8_t>(1, 0)));
    // Uploaded after welding.
    EXPECT_EQ(std::memcmp(mock.indexBuffers[0]->bytes.data(), exact, sizeof exact), 0);

    list.weld(0.31f, true);
    const std::uint16_t loose[6] = {0, 3, 0, 0, 3, 3};
    EXPECT_EQ(std::memcmp(list.indexArray(0), loose, sizeof loose), 0);
}

TEST_F(PoolTest, WeldLeavesPartnersInAnotherPieceAlone) {
    vertexbuffer pool(&d, 4, false, 1, false, false);
    const float p[3][3] = {{0, 0, 0}, {1, 1, 1}, {0, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        std::memcpy(pool.position(i, false), p[i], sizeof p[i]);
    }
    indexbuffer list(&d, 65536);
    list.setVertices(&pool);
    // Index 65534 (piece 0, vertex 2) coincides only with index 65535 (piece 1, vertex 0);
    // every other index points at vertex 1, far from both.
    for (int i = 0; i < 65536; ++i) {
        *list.indexAt(i) = 1;
    }
    *list.indexAt(65534) = 2;
    *list.indexAt(65535) = 0;
    list.weld(0.0f, false);
    EXPECT_EQ(std::pair(*list.indexAt(65535), pool.vertexFlags[0]), (std::pair<std::uint16_t, std::uint8_t>(0, 0)));
}

} // namespace
