// Bicubic value noise: random lattices interpolated with a Catmull-Rom-like
// cubic and summed into a single-precision accumulator, one value per pixel.
#pragma once

#include "texgen/plane.h"

#include <span>
#include <vector>

namespace texgen {

// One octave of noise over a 2^hi x 2^lo lattice (nibbles of size; a nibble
// above 8 gives a lattice of 1 in that direction) with amplitude 1.
void valueNoise(Plane& out, unsigned seed, unsigned size);

// 6 - reduction octaves (none from 6 on: a plane of 127), starting from a
// lattice of powerCount(base.hi) x powerCount(base.lo) at amplitude 0.5 and
// doubling the lattice (up to 256) and halving the amplitude per octave. All
// octaves draw from the one seeding.
void fractalNoise(Plane& out, unsigned seed, unsigned base, unsigned reduction);

// fx * fy values, row-major, drawn in order, uniform in [-amp, amp].
std::vector<float> noiseLattice(int fx, int fy, float amp);

// P t^3 + Q t^2 + R t + p1 with P = (p3 - p2) - (p0 - p1), Q = (p0 - p1) - P,
// R = p2 - p0: passes through p1 at t = 0 and near p2 at t = 1.
float cubicInterp(float t, float p0, float p1, float p2, float p3);

// Adds the lattice (fx x fy, both powers of two dividing 256), interpolated
// over the wrapped plane, to the 65,536 accumulator values.
void accumulateCubic(std::span<float> accumulator, std::span<const float> lattice, int fx, int fy);

// pixel = trunc(clamp((a + 1) * 127)), clamped to 0..255 before truncation.
void floatsToBytes(Plane& out, std::span<const float> accumulator);

} // namespace texgen
