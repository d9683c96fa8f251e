// Four floats handled lane by lane, for the field's fast loops. Each lane
// runs the same single-precision operation, in the same order, as the plain
// loop would on that cell, so the fast and plain loops give equal bits.
// GCC and Clang vector extensions: SSE on x86-64, NEON on ARM, scalar code
// elsewhere.
#pragma once

#include <cstring>

namespace geometry::fieldsimd {

typedef float floatx4 __attribute__((vector_size(16)));
typedef int intx4 __attribute__((vector_size(16)));

inline constexpr int kLanes = 4;

// Field rows carry no alignment: loads and stores go through memcpy.
inline floatx4 load(const float* p) {
    floatx4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, floatx4 v) {
    std::memcpy(p, &v, sizeof v);
}

inline floatx4 splat(float f) {
    return floatx4{f, f, f, f};
}

} // namespace geometry::fieldsimd
