#pragma once
// An allocator for large arrays of plain data that are zero when first made
// but are not written to get there: the memory comes from calloc, whose fresh
// pages the system maps only when they are first touched, and elements made
// by resize are left as the memory holds them. A pool that never uses part of
// its array never pays for that part.
//
// Growth keeps the leading elements and the new ones are zero; elements
// uncovered again by a resize within the capacity keep what they last held.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace dx {

template <typename T> struct LazyZeroAllocator {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "only plain data may be left as the memory holds it");
    using value_type = T;

    LazyZeroAllocator() noexcept = default;
    template <typename U> LazyZeroAllocator(const LazyZeroAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        void* p = n == 0 ? nullptr : std::calloc(n, sizeof(T));
        if (p == nullptr && n != 0) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }

    // resize() and the size constructor make elements this way: left alone.
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <typename U> bool operator==(const LazyZeroAllocator<U>&) const noexcept { return true; }
};

template <typename T> using LazyZeroArray = std::vector<T, LazyZeroAllocator<T>>;

} // namespace dx
