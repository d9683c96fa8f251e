// The runtime library's random source: the published linear congruential
// generator behind MSVC's rand/srand (state = state * 214013 + 2531011 mod 2^32,
// result = bits 16..30 of the new state).
//
// There is one state for the whole process, as the show expects: the texture
// operations reseed it, and later draws by the scenes continue from where the
// last user left it. It is not guarded; only the main thread draws from it.
#pragma once

#include <cstdint>

namespace platform::crt {

// Largest value rand() returns.
inline constexpr int kRandMax = 0x7FFF;

// Sets the state to seed; the next rand() continues from it.
void srand(std::uint32_t seed);

// Advances the state once and returns a value 0..kRandMax.
int rand();

} // namespace platform::crt
