// Scene 2: the blob sculpture spinning under a cloud of a thousand point
// sprites, with three names over it and a grey wash, all scaled by one
// random value drawn per frame.
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "dx/dxvertexbuffer.h"
#include "effects/blobsculpture.h"
#include "platform/crt/random.h"
#include "text/fontatlas.h"

#include <cmath>

namespace app::scenes {

void drawScene2(Show& show, float t, float) {
    device& d = *show.dev;
    const float s = static_cast<float>(platform::crt::rand() & 255) / 255.0f;

    d.beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    setCamera(show, 90.6f, Vector3{std::sin(t), 1.0f, 1.0f});
    show.sculpture->drawBlobSculpture(d, t, dx::Vector4{std::sin(t), 1.0f, 1.0f, 0.0f}, s);
    d.setWireframe(false);

    platform::crt::srand(0);
    vertexbuffer& pool = *show.pool;
    for (int i = 0; i < 1000; ++i) {
        const auto r1 = static_cast<float>(platform::crt::rand());
        const auto r2 = static_cast<float>(platform::crt::rand());
        const auto fi = static_cast<float>(i);
        float* p = pool.position(i, false);
        p[0] = std::sin(r2 + 0.1f * fi + t);
        p[1] = std::sin(r1 + 0.01f * fi + t);
        p[2] = std::sin(std::cos(0.1f * fi) + 0.01f * fi + t);
    }

    d.setAlphaBlend(true);
    d.blendAdd();
    if (s > 0.0f) {
        drawSpriteCloud(show, s);
    }
    d.setAlphaBlend(false);
    d.setZWrite(true);

    resetTo2D(d);
    const auto alpha = static_cast<D3DCOLOR>(std::trunc(s * 255.0f)) << 24;
    const float glyph = 0.1f + 0.01f * std::cos(t);
    show.atlas->drawText(0.3f, 0.4f, 3.0f, 0.1f, glyph, 0.0f, alpha | 0x00FF00FFu, "QTV", true);
    show.atlas->drawText(0.4f, 0.5f, 3.0f, 0.1f, glyph, 0.0f, alpha | 0x0000FF00u, "GLOBULATRIX", true);
    show.atlas->drawText(0.5f, 0.6f, 3.0f, 0.1f, glyph, 0.0f, alpha | 0x00FF00FFu, "ZOZAZI", true);

    d.setRawTexture(0, nullptr);
    d.setAlphaBlend(true);
    d.blendAdd();
    d.drawScreenQuad(0.0f, 0.0f, screenWidth(d), screenHeight(d), 0.5f, 0.5f, 0.0f, 0.0f, dx::ColorArgb{1.0f, s, s, s});
    d.setAlphaBlend(false);
    d.endScene();
    d.setLighting(false);
    d.cullNone();
    d.useFixedFunction();
    d.resetStages();
}

} // namespace app::scenes
