// Scene 6: the growing tunnel seen from near its oldest segment, with the
// title pulsing in depth on the flashes.
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "effects/tubes.h"
#include "text/fontatlas.h"

#include <cmath>

namespace app::scenes {

void drawScene6(Show& show, float t, float flash) {
    device& d = *show.dev;
    d.beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    setCamera(show, 90.6f, Vector3{std::sin(t), 1.0f, 1.0f});
    show.tunnel->drawTubes(t, d, show.program(3).d3dTexture);
    show.atlas->drawText(0.5f, 0.4f, 3.0f + std::sin(t) + flash, 0.1f + 0.01f * std::sin(t), 0.1f + 0.01f * std::cos(t),
                         0.0f, 0xFFFFFFFFu, "TEH FF0FF OR 00FF00", true);
    d.endScene();
}

} // namespace app::scenes
