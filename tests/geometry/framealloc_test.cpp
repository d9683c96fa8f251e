// A blob-scene frame of the field (the tube set, two blurs, the mesh and its
// upload) makes no heap allocation once the first frame is done: the global
// operator new of this test binary counts every call.
#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/dx/fakedevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

std::atomic<long> allocations{0};

void* counted(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* countedAligned(std::size_t size, std::align_val_t align) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) {
        return p;
    }
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void* operator new(std::size_t size, std::align_val_t align) { return countedAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return countedAligned(size, align); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

TEST(FrameAllocations, ASteadyBlobFrameAllocatesNothing) {
    ::testing::NiceMock<fake::Device> mock;
    device d;
    d.d3dDevice = &mock;
    ::testing::internal::CaptureStderr();
    auto m = std::make_unique<metamecklo>(&d, 40, 40, 40, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, true);
    ::testing::internal::GetCapturedStderr();
    m->setIsoLevel(0.5f);
    crt::srand(1);
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
        static_cast<fake::VertexBuffer*>(m->vertices->buffers[b])->lockFlags.reserve(64);
    }
    const long before = allocations.load();
    int triangles = 0;
    for (int i = 1; i <= 3; ++i) {
        triangles += frame(5.0f + static_cast<float>(i) / 30.0f);
    }
    const long made = allocations.load() - before;
    EXPECT_GT(triangles, 300);
    EXPECT_EQ(made, 0) << "allocations in three frames";

    // The counter sees the allocations it is meant to catch.
    const long probeBefore = allocations.load();
    auto probe = std::make_unique<int>(1);
    EXPECT_EQ(allocations.load() - probeBefore, 1);
}

} // namespace
