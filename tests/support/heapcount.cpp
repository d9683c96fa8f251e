#include "tests/support/heapcount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};
std::atomic<long> live{0};

void* counted(std::size_t size) noexcept {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        allocations.fetch_add(1, std::memory_order_relaxed);
        live.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

void* countedOrThrow(std::size_t size) {
    if (void* block = counted(size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* countedAligned(std::size_t size, std::align_val_t alignment) {
    const std::size_t a = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    if (void* block = std::aligned_alloc(a, (size + a - 1) / a * a + (size == 0 ? a : 0))) {
        allocations.fetch_add(1, std::memory_order_relaxed);
        live.fetch_add(1, std::memory_order_relaxed);
        return block;
    }
    throw std::bad_alloc();
}

void release(void* block) noexcept {
    if (block != nullptr) {
        live.fetch_sub(1, std::memory_order_relaxed);
        std::free(block);
    }
}

} // namespace

long tests::support::heapAllocations() {
    return allocations.load();
}
long tests::support::liveHeapBlocks() {
    return live.load();
}

void* operator new(std::size_t size) {
    return countedOrThrow(size);
}
void* operator new[](std::size_t size) {
    return countedOrThrow(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return countedAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return countedAligned(size, alignment);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    release(block);
}
