// Per-pixel filters: each output pixel depends only on the same pixel of the
// inputs (and, for the two normalisers, on the inputs' value range). Where a
// mask is given, its value at the pixel replaces the amount parameter.
#pragma once

#include "texgen/plane.h"

namespace texgen {

// lo + v * (hi - lo) / 255: maps 0..255 onto lo..hi (falling when hi < lo).
void levels(Plane& out, unsigned lo, unsigned hi, const Plane& source);

// Mode 0 clamps to lo..hi; other modes set v < lo to 0, then v > hi to 255.
void clampRange(Plane& out, unsigned mode, unsigned lo, unsigned hi, const Plane& source);

// m = v * (p & 127), keeping its low 8 bits; with p bit 7 set, the low byte is
// mirrored (255 - it) where bit 8 of m is clear.
void multiplyWrap(Plane& out, unsigned p, const Plane& source);

// 255 - v.
void invert(Plane& out, const Plane& source);

// Mode 0: sine bump 255 sin(pi v / 255); mode 1: smoothstep; other modes leave
// out as it was.
void curve(Plane& out, unsigned mode, const Plane& source);

// Amount above 128 blends toward white, below 128 scales toward black.
void lightenDarken(Plane& out, unsigned amount, const Plane& source, const Plane* mask);

// clamp(v + amount - 127).
void brightness(Plane& out, unsigned amount, const Plane& source, const Plane* mask);

// Stretches about mid-grey: amount 127 leaves v, 255 thresholds at 127.
void contrast(Plane& out, unsigned amount, const Plane& source, const Plane* mask);

// Stretches the source's own range to 0..255; a plane of one value becomes 0.
void normalise(Plane& out, const Plane& source);

// Stretches `first` by the joint range of all four inputs to 0..255 (a single
// joint value gives 0).
void normaliseJoint(Plane& out, const Plane& first, const Plane& second, const Plane& third, const Plane& fourth);

// Per-pixel arithmetic of a and b, clamped: 0 a + b, 1 and 7 a - b,
// 2 a * b / 256, 3 a where b = 0 else 0, 4 blend by `extra` (a weight),
// 5 screen-like (256ab + a + b) >> 8, 6 blend by mask (b weight; an absent
// mask counts as 0), 8 max, 9 min, 10 a where a = extra else b. Other modes
// leave out as it was.
void combine(Plane& out, unsigned mode, unsigned extra, const Plane& a, const Plane& b, const Plane* mask);

} // namespace texgen
