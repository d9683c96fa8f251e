#include "platform/crt/random.h"

namespace platform::crt {
namespace {

// MSVC runtime: a process that never calls srand behaves as if it had called srand(1).
std::uint32_t state = 1;

} // namespace

void srand(std::uint32_t seed) {
    state = seed;
}

int rand() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

} // namespace platform::crt
