#include "app/scenes/compose.h"

#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxmath.h"
#include "dx/dxtexture.h"
#include "dx/dxvertexbuffer.h"

#include <bit>

namespace app::scenes {

namespace {

DWORD floatBits(float value) {
    return std::bit_cast<DWORD>(value);
}

} // namespace

void fourWayMirror(int source, int destination, float width, float height, device& d, QuadObject& quad) {
    device& target = *quad.owner;
    d.beginTarget(destination, 0, D3DCLEAR_TARGET);
    d.setRawTexture(0, d.targetTexture[source]);
    const dx::ColorArgb white{1.0f, 1.0f, 1.0f, 1.0f};
    const float midX = width / 2.0f;
    const float midY = height / 2.0f;
    target.drawScreenQuad(0.0f, 0.0f, midX, midY, 0.0f, 0.0f, 0.5f, 0.5f, white);
    target.drawScreenQuad(0.0f, midY, midX, height, 0.0f, 0.5f, 0.5f, 0.0f, white);
    target.drawScreenQuad(midX, 0.0f, width, midY, 0.5f, 0.0f, 0.0f, 0.5f, white);
    target.drawScreenQuad(midX, midY, width, height, 0.5f, 0.5f, 0.0f, 0.0f, white);
    d.endScene();
}

void resetTo2D(device& d) {
    d.resetStages();
    Matrix unit{};
    identity(unit);
    d.setTextureTransform(0, unit);
    d.setTextureTransform(1, unit);
    d.setRawTexture(0, nullptr);
    d.cullNone();
    d.setLighting(false);
    d.setDepthTest(false);
    d.d3dDevice->SetPixelShader(nullptr);
    d.d3dDevice->SetVertexShader(nullptr);
}

void disableLight0(device& d) {
    d.d3dDevice->LightEnable(0, FALSE);
}

void shadeGouraud(device& d) {
    d.d3dDevice->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
}

void setSpecular(device& d, bool on) {
    d.d3dDevice->SetRenderState(D3DRS_SPECULARENABLE, on ? TRUE : FALSE);
}

void setNormalizeNormals(device& d, bool on) {
    d.d3dDevice->SetRenderState(D3DRS_NORMALIZENORMALS, on ? TRUE : FALSE);
}

void pointSprites(device& d, float size) {
    IDirect3DDevice9& api = *d.d3dDevice;
    api.SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    api.SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    api.SetRenderState(D3DRS_POINTSIZE, floatBits(size));
    api.SetRenderState(D3DRS_POINTSCALE_A, floatBits(1.5f));
    api.SetRenderState(D3DRS_POINTSCALE_B, floatBits(100.1f));
    api.SetRenderState(D3DRS_POINTSCALE_C, floatBits(1.1f));
}

void drawSpriteCloud(Show& show, float size) {
    device& d = *show.dev;
    pointSprites(d, size);
    d.setZWrite(false);
    d.setTexture(0, show.program(4));
    show.pool->upload();
    show.pool->drawPoints();
}

void setCamera(Show& show, float f, const Vector3& eye) {
    perspective(show.projection, f);
    lookAtUp(show.view, Vector3{0.0f, 0.0f, 0.0f}, eye);
    show.dev->setProjection(show.projection);
    show.dev->setView(show.view);
}

float screenWidth(const device& d) {
    return static_cast<float>(d.presentParameters.BackBufferWidth);
}

float screenHeight(const device& d) {
    return static_cast<float>(d.presentParameters.BackBufferHeight);
}

} // namespace app::scenes
