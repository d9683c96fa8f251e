// Passes and render-state settings shared by the six scenes. The scenes call
// the device wrapper and the effects; the few render states they set by name
// go through the functions here, so that no scene calls the interface itself.
#pragma once

#include "dx/vector3.h"

class device;
namespace app {

struct QuadObject;
struct Show;

} // namespace app

namespace app::scenes {

// The source target's top-left quarter mirrored into all four quarters of the
// destination (cleared to 0 first), width x height pixels.
void fourWayMirror(int source, int destination, float width, float height, device& d, QuadObject& quad);

// Back to flat drawing: stages reset with identity texture transforms on
// stages 0 and 1, no texture on stage 0, no culling, no lighting, no depth
// test and no shaders.
void resetTo2D(device& d);

// Light 0 of the fixed-function lighting switched off (enableLight0 turns it on).
void disableLight0(device& d);
// Gouraud shading.
void shadeGouraud(device& d);
// Specular highlights of the fixed-function lighting on or off.
void setSpecular(device& d, bool on);
// Renormalisation of transformed normals on or off.
void setNormalizeNormals(device& d, bool on);
// Point sprites of the given size with point scaling on (factors 1.5, 100.1, 1.1).
void pointSprites(device& d, float size);

// The particle pool's 1,000 working positions uploaded and drawn as point
// sprites of `size` textured with P4, without depth writes (turned back on by
// the caller).
void drawSpriteCloud(Show& show, float size);

// perspective(f) into the show's projection and a camera at `eye` looking at
// the origin into its view; both handed to the device.
void setCamera(Show& show, float f, const Vector3& eye);

// The back buffer's width and height, read from the device at every call.
float screenWidth(const device& d);
float screenHeight(const device& d);

} // namespace app::scenes
