// Force-included into every file of the browser build. Emscripten 3.1.6's
// C++ library predates std::bit_cast, though its compiler (Clang 14) has the
// builtin that implements it; this fills the gap so that the same sources
// build for both platforms. With a newer library the header does nothing.
#pragma once

#include <version>

#if !defined(__cpp_lib_bit_cast)
#include <type_traits>

namespace std {

template <class To, class From>
requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>) constexpr To
    bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}

} // namespace std
#endif
