#include "effects/zoomblur.h"

#include "dx/dxdevice.h"

namespace {

// Alpha 0x80 in the texture factor weighs the zoomed copy against the image.
constexpr D3DCOLOR kHalfFactor = 0x80808080u;
// Diffuse colour of a pass: stage 0 passes on about half the unzoomed image.
constexpr D3DCOLOR kPassColour = 0xFF7F7F7Fu;
constexpr D3DCOLOR kFinalColour = 0x7F7F7F7Fu;
constexpr DWORD kClearAll = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;

void setAddressing(IDirect3DDevice9* dev, DWORD mode) {
    for (DWORD sampler = 0; sampler < 2; ++sampler) {
        dev->SetSamplerState(sampler, D3DSAMP_ADDRESSU, mode);
        dev->SetSamplerState(sampler, D3DSAMP_ADDRESSV, mode);
    }
}

void bindBoth(device& d, int target) {
    IDirect3DBaseTexture9* texture = d.targetTexture[target];
    d.setRawTexture(0, texture);
    d.setRawTexture(1, texture);
}

// The zoom window's margins follow the step: each edge moves in by step x its
// distance to the centre, so the copy shrinks toward (centreU, centreV).
void drawPass(device& d, D3DCOLOR colour, float step, float angle, float centreU, float centreV, int target) {
    const dx::TargetSize& size = d.targetSize[target];
    d.drawZoomQuad(colour, step * centreU, step * (1.0f - centreU), step * centreV, step * (1.0f - centreV), angle,
                   centreU, centreV, size.width, size.height);
}

} // namespace

void zoomBlur(device& d, int source, int destination, int scratch, float centreU, float centreV, int passes, float step,
              float addThreshold, float angle) {
    IDirect3DDevice9* dev = d.d3dDevice;
    d.setDepthTest(false);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, kHalfFactor);
    // Clamped, the zoomed window never wraps the opposite edge into the picture.
    setAddressing(dev, D3DTADDRESS_CLAMP);
    d.cullNone();

    // With scratch == source every pass reads and writes the same target; the
    // layer then samples a copy of the target as it was before the draw, as
    // the platform's hardware did for this one-target feedback.
    bool readFromSource = true;
    bool writeToScratch = true;
    int remaining = passes - 1;
    for (int pass = 0; pass < passes; ++pass) {
        const auto remainingF = static_cast<float>(remaining);
        dev->SetTextureStageState(1, D3DTSS_COLOROP, remainingF < addThreshold ? D3DTOP_ADD : D3DTOP_BLENDFACTORALPHA);
        const int written = writeToScratch ? scratch : source;
        d.beginTarget(written, 0, 0);
        bindBoth(d, readFromSource ? source : scratch);
        drawPass(d, kPassColour, step, angle, centreU, centreV, written);
        d.endScene();
        readFromSource = !readFromSource;
        writeToScratch = !writeToScratch;
        step *= 0.5f;
        angle *= 0.5f;
        --remaining;
    }

    d.beginTarget(destination, 0, kClearAll);
    bindBoth(d, readFromSource ? source : scratch);
    drawPass(d, kFinalColour, step, angle, centreU, centreV, destination);
    d.endScene();

    d.setRawTexture(0, nullptr);
    d.setRawTexture(1, nullptr);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    setAddressing(dev, D3DTADDRESS_WRAP);
    d.setDepthTest(true);
}
