// Neighbourhood filters over the wrapped plane: the repeated blur and sharpen,
// and the fixed 3 x 3 relief and edge kernels.
#pragma once

#include "texgen/plane.h"

#include <span>

namespace texgen {

// Sum of the n x n neighbourhood of (x, y) (row 0 of the kernel on row
// y - n / 2) weighted by kernel, divided toward zero by the kernel's sum when
// that sum is not 0.
int convolvePoint(const Plane& plane, int x, int y, std::span<const int> kernel, int n);

// Eight passes of the kernel over source, each on the result of the one
// before. In pass i a pixel is filtered when i < its limit, which is
// mask >> 5 (0..7) where a mask is given and `passes` otherwise, so a pass
// count above 8 acts as 8. out receives the result; source is not changed.
void repeatFilter(Plane& out, unsigned passes, const Plane* mask, std::span<const int> kernel, int n,
                  const Plane& source);

// repeatFilter with the 5 x 5 blur kernel (sum 39).
void blur(Plane& out, unsigned passes, const Plane& source, const Plane* mask);
// repeatFilter with the 3 x 3 sharpen kernel (sum 3).
void sharpen(Plane& out, unsigned passes, const Plane& source, const Plane* mask);

// clamp((S + bias) / divisor) over the n x n neighbourhoods, S the weighted
// sum; divisor 0 means no division, -1 means the kernel's sum (no division
// when that is 0).
void convolvePlane(Plane& out, const Plane& source, std::span<const int> kernel, int n, int divisor, int bias);

// One of six 3 x 3 kernels (0..5) plus 127, unscaled. A kernel number above 5
// names no filter and copies the source unchanged.
void filter3x3(Plane& out, unsigned kernelNumber, const Plane& source);

} // namespace texgen
