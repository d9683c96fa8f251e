// Filters that read their source at moved positions: bilinear sampling,
// displacement, twirl, tiling, scrolling and motion blur.
#pragma once

#include "texgen/plane.h"

namespace texgen {

// Bilinear sample of the wrapped plane at (x, y). The integer part is taken
// toward zero, so at negative coordinates the fraction is negative and the
// taps are weighted outside 0..1 (the result may leave 0..255).
float sampleBilinear(float x, float y, const Plane& plane);

// Samples source at (x + xs * xScale / 255, y + ys * yScale / 255). The x
// sample comes from xSource when present: mode (flags >> 4) & 7 = 0 takes the
// wrapped difference (left - below - right + above) / 2, mode 1 the pixel
// itself, other modes keep the previous pixel's sample (0 at the start). The
// y sample likewise from ySource with mode flags & 7. Absent sources give 0.
void displace(Plane& out, unsigned flags, unsigned xScale, unsigned yScale, const Plane& source, const Plane* xSource,
              const Plane* ySource);

// Rotates the source inside the circle of the given diameter around
// (cx, cy), most at the centre; strength 127 leaves the source unchanged.
void twirl(Plane& out, unsigned cx, unsigned cy, unsigned diameter, unsigned strength, const Plane& source);

// The source shrunk by point sampling and repeated powerCount(hi) x
// powerCount(lo) times (nibbles of counts).
void tile(Plane& out, unsigned counts, const Plane& source);

// pixel(x, y) = source(x - dx, y - dy), wrapped.
void scroll(Plane& out, unsigned dx, unsigned dy, const Plane& source);

// Average of `length` bilinear samples stepping away from each pixel along
// direction k of 256 (0 up the rows, 64 along them), or along the direction
// that directionMap holds for the pixel when it is present. The result keeps
// its low 8 bits, unclamped. Length 0 copies the source.
void motionBlur(Plane& out, unsigned length, unsigned direction, const Plane& source, const Plane* directionMap);

} // namespace texgen
