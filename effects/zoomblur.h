// The feedback zoom blur: an image in an off-screen target is blended, pass
// after pass, with a slightly shrunken and turned copy of itself, ping-ponging
// between two targets while the zoom step and the angle halve, so that bright
// parts leave long, smooth streaks toward (or away from) a centre point. A last
// pass writes the result into a destination target.
//
// Stateless and allocation-free; it draws through device::drawZoomQuad.
#pragma once

class device;

// Blurs render target `source` into `destination` (target indices of d; 0 is
// the back buffer). `source` and `scratch` are overwritten; `scratch` may be
// `source` itself, and then every pass reads and writes that one target.
//
// `passes` ping-pong passes run (none for 0 or less), then the final pass. A
// pass after which fewer than `addThreshold` passes remain adds the zoomed copy
// to half the image; the others blend the two about half and half. `step` and
// `angle` (radians) are the first pass's zoom and rotation and halve after
// every pass; (centreU, centreV) is the point the zoomed copy shrinks toward,
// in texture coordinates of the target (outside 0..1 gives a near-linear smear).
//
// Afterwards stages 0 and 1 have no texture, stage 0 is texture x diffuse,
// samplers 0 and 1 wrap and the depth test is on; culling stays off, and stage
// 1's operation and the texture factor stay as the passes left them.
void zoomBlur(device& d, int source, int destination, int scratch, float centreU, float centreV, int passes, float step,
              float addThreshold, float angle);
