// Scene 5: the blob scene on green with one word at the left that changes
// with the whole seconds and grows on the flashes.
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "effects/blobscene.h"
#include "text/fontatlas.h"

#include <cmath>
#include <cstdint>

namespace app::scenes {

const char* flickerWord(float t) {
    // The whole seconds times -72 in two's complement, low byte.
    const auto seconds = static_cast<std::int32_t>(std::trunc(t));
    const auto k = static_cast<std::uint32_t>(seconds) * static_cast<std::uint32_t>(-72) & 255u;
    if (k < 60u) {
        return "QTV";
    }
    if (k < 150u) {
        return "OH";
    }
    if (k < 200u) {
        return "HO";
    }
    return "VTQ";
}

void drawScene5(Show& show, float t, float flash) {
    device& d = *show.dev;
    d.beginTarget(0, 0x0000FF00, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    setCamera(show, 70.0f, Vector3{0.0f, 3.0f * std::cos(t), 8.8f});
    IDirect3DBaseTexture9* surface = show.program(3).d3dTexture;
    show.blobs->drawBlobScene(d, t, dx::Vector4{0.0f, 3.0f * std::cos(t) - 10.0f, 8.8f, 0.0f}, surface, false, surface);
    resetTo2D(d);
    show.atlas->drawText(0.05f, 0.4f, 10.0f, flash + 0.7f, 0.4f, 0.0f, 0xFFFF00FFu, flickerWord(t), false);
    d.endScene();
}

} // namespace app::scenes
