// Generators: operations that fill a plane from their parameters alone.
// The random ones reseed platform::crt::srand from their seed parameter before the first
// draw, so their result never depends on what ran before them; the order of
// their draws is part of the result.
#pragma once

#include "texgen/plane.h"

namespace texgen {

// Every pixel = value.
void fill(Plane& out, unsigned value);

// Midpoint-subdivision plasma; pixel (0, 0) is 127. Roughness r shifts the
// noise of subdivision level L right by (L * r) & 31 bits.
void plasma(Plane& out, unsigned seed, unsigned roughness);

// 127 + a vertical and a horizontal sine of amplitude 63.5 (values 1..253).
// Phases are in steps of pi/256, frequencies in periods across the plane.
void sineWaves(Plane& out, unsigned xPhase, unsigned yPhase, unsigned xFrequency, unsigned yFrequency);

// 255 at (128, 128) falling to 0 at the corners, raised to the power 2^power.
void radialGradient(Plane& out, unsigned power);

// Distances to the nearest (F1) and second nearest (F2) of count random points
// on the torus, by mode (0: F1, 1: 255 - F1, 2: F2 - F1, 3: F1 * F2 / 128,
// otherwise 0), stretched to 0..255; a plane of one value becomes 0.
void cells(Plane& out, unsigned seed, unsigned mode, unsigned count);

// A grid of 2^hi x 2^lo blocks (nibbles of grid, each capped at 256), each
// filled with low + rand() mod |high - low|; low = high fills without drawing.
void randomBlocks(Plane& out, unsigned seed, unsigned grid, unsigned low, unsigned high);

// ((x & mx) << shifts.hi) ^ ((y & my) << shifts.lo), low 8 bits, where
// mx = 255 << masks.hi and my = 255 << masks.lo (low 8 bits).
void bitPattern(Plane& out, unsigned masks, unsigned shifts);

// Mode 0: checkerboard; 1: bricks (c1 mortar, c2 brick); 2: tiles of side up to
// size (c2 tile, c1 grout); other modes leave out as it was. Where the grid
// does not divide 256 the remaining columns or rows widen the last brick or tile.
void shapes(Plane& out, unsigned mode, unsigned colour1, unsigned colour2, unsigned grid, unsigned size);

// count soft round spots of the given diameter on a plane of 0; mode 0 adds
// (clamped), mode 1 takes the absolute difference, other modes overwrite.
void spots(Plane& out, unsigned seed, unsigned mode, unsigned count, unsigned diameter);

// count inverse-square glows of the given size added (clamped) on a plane of 0.
void glows(Plane& out, unsigned seed, unsigned count, unsigned size);

// Every pixel = 128, whatever the parameter.
void fillGrey(Plane& out, unsigned ignored);

} // namespace texgen
