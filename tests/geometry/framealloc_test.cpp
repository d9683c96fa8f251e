// A blob-scene frame of the field (the tube set, two blurs, the mesh and its
// upload) makes no heap allocation once the first frame is done: the global
// operator new of this test binary counts every call (tests/support/heapcount).
#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/dx/fakedevice.h"
#include "tests/geometry/surface.h"
#include "tests/support/heapcount.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using FrameAllocations = geometry::test::MetaballTest;

TEST_F(FrameAllocations, ASteadyBlobFrameAllocatesNothing) {
    auto m = make(40, true);
    m->setIsoLevel(0.5f);
    platform::crt::srand(1);
    m->initTubeSet();

    const auto frame = [&](float t) {
        m->addTubeSet(t, 0.0f, 0.1f, 1.0f, 1.0f);
        m->blurField();
        m->blurField();
        return m->buildMesh();
    };
    ASSERT_GT(frame(5.0f), 100); // the first frame uploads the whole pool

    // The stand-in buffers log every Lock's flags; room for the frames'
    // entries keeps their bookkeeping out of the count.
    for (int b = 0; b < m->vertices->bufferCount; ++b) {
        static_cast<dx::test::VertexBuffer*>(m->vertices->buffers[b])->lockFlags.reserve(64);
    }
    const long before = tests::support::heapAllocations();
    int triangles = 0;
    for (int i = 1; i <= 3; ++i) {
        triangles += frame(5.0f + static_cast<float>(i) / 30.0f);
    }
    const long made = tests::support::heapAllocations() - before;
    EXPECT_GT(triangles, 300);
    EXPECT_EQ(made, 0) << "allocations in three frames";

    // The counter sees the allocations it is meant to catch.
    const long probeBefore = tests::support::heapAllocations();
    auto probe = std::make_unique<int>(1);
    EXPECT_EQ(tests::support::heapAllocations() - probeBefore, 1);
}

} // namespace
