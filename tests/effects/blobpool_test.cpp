// The blob scene's compact pool on the headless layer: buildMesh, which
// uploads only each mesh's own vertices once the pool has been uploaded
// whole, leaves the hardware buffers holding the whole working copy, as the
// whole upload of buildMeshPlain does, while meshes grow and shrink.
#include "dx/dxvertexbuffer.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/effects/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Bytes of every hardware buffer of the pool, in vertex order.
std::vector<std::uint8_t> hardwareBytes(vertexbuffer& vb) {
    std::vector<std::uint8_t> bytes;
    for (int b = 0; b < vb.bufferCount; ++b) {
        void* data = nullptr;
        const std::size_t size = static_cast<std::size_t>(vb.chunkVertexCount[b]) * vb.stride;
        if (vb.buffers[b]->Lock(0, 0, &data, D3DLOCK_READONLY) != D3D_OK) {
            ADD_FAILURE() << "buffer " << b << " refused its lock";
            return {};
        }
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        vb.buffers[b]->Unlock();
    }
    return bytes;
}

std::unique_ptr<metamecklo> tubeObject(device& d) {
    ::testing::internal::CaptureStderr();
    auto m = std::make_unique<metamecklo>(&d, 40, 40, 40, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, true);
    ::testing::internal::GetCapturedStderr();
    m->setIsoLevel(0.5f);
    platform::crt::srand(1);
    m->initTubeSet();
    return m;
}

// A frame's field: the tube set, or (rough above 0) isolated cells of 1
// scattered into gridB, one in `rough`, whose many small surfaces fill more
// than one hardware buffer.
struct Frame {
    float t;
    float strength;
    int rough;
};

void fill(metamecklo& m, const Frame& f, bool plain) {
    if (f.rough > 0) {
        platform::crt::srand(static_cast<unsigned>(f.rough));
        for (std::size_t i = 0; i < m.gridB.cellCount(); ++i) {
            m.gridB.values[i] = platform::crt::rand() % f.rough == 0 ? 1.0f : 0.0f;
        }
    } else if (plain) {
        m.addTubeSetPlain(f.t, 0.0f, 0.1f, 1.0f, f.strength);
    } else {
        m.addTubeSet(f.t, 0.0f, 0.1f, 1.0f, f.strength);
    }
}

// Meshes of different sizes in turn: larger, smaller (the tail of the pool
// keeps an older mesh), none at all, one over two hardware buffers, one into
// the third, and smaller again.
const Frame kFrames[] = {{5.0f, 1.0f, 0},  {5.5f, 1.8f, 0}, {6.0f, 0.6f, 0}, {6.0f, 0.0f, 0},
                         {0.0f, 0.0f, 20}, {0.0f, 0.0f, 5}, {9.0f, 1.4f, 0}, {0.0f, 0.0f, 40}};

TEST(BlobPool, MeshUploadsLeaveTheBuffersAsAWholeUploadDoes) {
    device* d = effects::test::headlessDevice(64, 64);
    ASSERT_NE(d, nullptr) << "no headless device";
    auto fast = tubeObject(*d);
    auto plain = tubeObject(*d);
    ASSERT_EQ(fast->vertices->bufferCount, 3);
    std::vector<int> counts;
    for (const Frame& f : kFrames) {
        SCOPED_TRACE(testing::Message() << "t " << f.t << " strength " << f.strength);
        fill(*fast, f, false);
        fill(*plain, f, true);
        if (f.rough == 0) {
            fast->blurField();
            fast->blurField();
            plain->blurFieldPlain();
            plain->blurFieldPlain();
        }
        const int n = fast->buildMesh();
        ASSERT_EQ(n, plain->buildMeshPlain());
        counts.push_back(n);
        EXPECT_EQ(fast->meshVertexCount, plain->meshVertexCount);
        EXPECT_TRUE(fast->vertices->vertices == plain->vertices->vertices) << "working copies differ";
        const std::vector<std::uint8_t> hardware = hardwareBytes(*fast->vertices);
        EXPECT_TRUE(hardware == hardwareBytes(*plain->vertices)) << "hardware buffers differ";
        // The documented result of an upload: the buffers mirror the working copy.
        EXPECT_TRUE(std::equal(hardware.begin(), hardware.end(), fast->vertices->vertices.begin(),
                               fast->vertices->vertices.end()))
            << "buffers do not mirror the working copy";
    }
    // The frames did what they are for: a mesh smaller than the one before,
    // an empty one, meshes reaching into the second and third buffers
    // (more than 65,535 and 131,070 vertices) and smaller ones after them.
    EXPECT_GT(counts[1], counts[2]);
    EXPECT_GT(counts[2], 0);
    EXPECT_EQ(counts[3], 0);
    EXPECT_GT(3 * counts[4], dx::kMaxChunkVertices);
    EXPECT_LT(3 * counts[4], 2 * dx::kMaxChunkVertices);
    EXPECT_GT(3 * counts[5], 2 * dx::kMaxChunkVertices);
    EXPECT_LT(counts[6], counts[5]);
    EXPECT_LT(counts[7], counts[5]);
}

} // namespace
