// Scene 1: the cloth falling past the sphere, blurred three times over and
// composited with a multiply, an additive copy and the two title lines.
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "effects/particlefield.h"
#include "effects/zoomblur.h"
#include "geometry/genmesh.h"
#include "platform/kernel/kernel.h"
#include "text/fontatlas.h"

#include <algorithm>
#include <cmath>

namespace app::scenes {

namespace {

// Sphere M2 turned about y by t, doubled and placed in front of the camera.
void placeSphere(mesh& sphere, float t) {
    rotationXYZ(sphere.world, 0.0f, t, 0.0f);
    scaleRows(sphere.world, 2.0f, 2.0f, 2.0f);
    sphere.world.m[3][0] = 0.0f;
    sphere.world.m[3][1] = 2.0f;
    sphere.world.m[3][2] = 20.0f;
}

// The blue byte of the first clear rises with the flash; a full flash stays
// within the byte instead of carrying into green.
D3DCOLOR flashClear(float flash) {
    const auto blue = static_cast<D3DCOLOR>(std::clamp(std::trunc(flash * 256.0f), 0.0f, 255.0f));
    return 0x0000FF00u + blue;
}

} // namespace

void drawScene1(Show& show, float t, float flash) {
    device& d = *show.dev;
    const dx::ColorArgb white{1.0f, 1.0f, 1.0f, 1.0f};
    const int t1 = show.target(1);
    const int t2 = show.target(2);
    const int t3 = show.target(3);
    const int t4 = show.target(4);
    const int t5 = show.target(5);
    const int t6 = show.target(6);

    show.cloth->step();
    d.worldViewProjection();
    perspective(show.projection, 70.0f);
    d.setProjection(show.projection);
    shadeGouraud(d);
    d.setWireframe(false);
    d.cullNone();
    identity(show.view);
    invertRigid(show.view);
    d.setView(show.view);

    d.beginTarget(t1, flashClear(flash), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    d.resetStages();
    d.resetStage(0);
    d.resetStage(1);
    d.useFixedFunction();
    d.setLighting(false);
    placeSphere(*show.sphere, t);
    show.sphere->draw();
    Matrix clothWorld{};
    identity(clothWorld);
    clothWorld.m[3][1] = -7.0f;
    clothWorld.m[3][2] = 20.0f;
    d.setWorld(clothWorld);
    disableLight0(d);
    d.setLighting(true);
    show.cloth->draw();
    d.endScene();

    zoomBlur(d, t1, t3, t2, 0.0f, 2.0f, 10, 0.2f, 2.1f, 0.0f);

    d.beginTarget(t4, 0x000FF0FF, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    d.setRawTexture(0, d.targetTexture[t1]);
    d.drawScreenQuad(0.0f, 0.0f, d.targetSize[t4].width, d.targetSize[t4].height, 0.0f, 0.0f, 1.0f, 1.0f, white);
    d.endScene();

    d.beginTarget(t5, 0x000FF0FF, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    d.setLighting(true);
    d.setRawTexture(0, nullptr);
    disableLight0(d);
    show.cloth->draw();
    d.endScene();

    const auto ms = static_cast<float>(GetTickCount());
    zoomBlur(d, t5, t1, t6, 0.0f, -2.0f, 10, 0.1f, 4.0f, 0.01f * std::sin(ms * 0.001f));

    d.beginTarget(t1, 0, 0);
    d.setAlphaBlend(true);
    d.blendAdd();
    d.setRawTexture(0, nullptr);
    d.setRawTexture(1, nullptr);
    d.drawScreenQuad(0.0f, 0.0f, d.targetSize[t1].width, d.targetSize[t1].height, 0.0f, 0.0f, 1.0f, 1.0f,
                     dx::ColorArgb{1.0f, 0.8f, 0.8f, 1.0f});
    d.endScene();

    d.beginTarget(t2, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    const float screenW = d.targetSize[0].width;
    const float screenH = d.targetSize[0].height;
    d.setRawTexture(0, d.targetTexture[t3]);
    d.drawScreenQuad(0.0f, 0.0f, screenW, screenH, 0.0f, 0.0f, 1.0f, 1.0f, white);
    d.setRawTexture(0, d.targetTexture[t1]);
    d.setAlphaBlend(true);
    d.blendMultiply();
    d.drawScreenQuad(0.0f, 0.0f, screenW, screenH, 0.0f, 0.0f, 1.0f, 1.0f, white);

    d.setRawTexture(0, d.targetTexture[t1]);
    d.setAlphaBlend(false);
    d.enableLight0();
    d.setLighting(false);
    d.setTexture(0, show.program(1));
    d.setRawTexture(1, nullptr);
    d.cullNone();
    d.setDepthTest(true);
    d.setAlphaBlend(false);
    show.cloth->draw();

    d.setAlphaBlend(true);
    d.blendAdd();
    show.sphere->draw();
    d.setRawTexture(0, d.targetTexture[t3]);
    d.drawScreenQuad(0.0f, 0.0f, screenW, screenH, 0.0f, 0.0f, 1.0f, 1.0f, dx::ColorArgb{2.0f, 2.0f, 2.0f, 2.0f});

    const float depth = 3.0f + std::sin(t);
    const float advance = 0.1f + 0.01f * std::sin(t);
    const float glyph = 0.1f + 0.01f * std::cos(t);
    show.atlas->drawText(0.5f, 0.4f, depth, advance, glyph, 0.0f, 0xFFFFFFFFu, "100%", true);
    show.atlas->drawText(0.5f, 0.6f, depth, advance, glyph, 0.0f, 0xFFFFFFFFu, "ZIRODARIZ", true);
    d.endScene();

    zoomBlur(d, t2, 0, t1, 0.0f, 2.0f, 10, 0.05f, 5.0f, 0.0f);
    d.setAlphaBlend(false);
}

} // namespace app::scenes
