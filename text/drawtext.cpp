#include "dx/dxdevice.h"
#include "text/fontatlas.h"

#include <algorithm>

namespace {

// Pre-transformed vertex with one colour and one texture coordinate pair.
struct TextVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(TextVertex) == 28);

constexpr DWORD kTextFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// A batch is drawn once its vertices would no longer leave room for another glyph.
constexpr int kBatchVertexLimit = text::kQuadBufferVertices - 6;

// Codes 128 to 255 read as negative characters and are skipped with the control codes.
bool hasGlyph(signed char c) {
    return c >= 32;
}

} // namespace

HRESULT fontAtlas::drawText(float x, float y, float depth, float advanceHeight, float glyphHeight, float spacing,
                            D3DCOLOR colour, const char* text, bool centred) {
    IDirect3DDevice9* d3d = owner->d3dDevice;
    d3d->SetTexture(0, texture);
    d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d3d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d3d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d3d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d3d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d3d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d3d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d3d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d3d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d3d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d3d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d3d->SetFVF(kTextFvf);
    d3d->SetStreamSource(0, quadBuffer, 0, sizeof(TextVertex));

    const float wf = owner->targetSize[0].width;
    const float hf = owner->targetSize[0].height;
    float penX = wf * x - 0.5f;
    const float lineHeight = hf * glyphHeight;
    float penY = hf * y - 0.5f - 0.6f * lineHeight;
    float lineStart = penX;
    const text::GlyphRect& blank = glyphs[0];
    const float k = 1.0f / ((blank.bottom - blank.top) * static_cast<float>(text::kAtlasSize));
    const float extra = wf * advanceHeight * spacing;

    float lineWidth = 0.0f;
    float widest = 0.0f;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<signed char>(*p);
        if (c == '\n') {
            lineWidth = 0.0f;
            continue;
        }
        if (!hasGlyph(c)) {
            continue;
        }
        const text::GlyphRect& g = glyphs[c - 32];
        lineWidth += (g.right - g.left) * static_cast<float>(text::kAtlasSize) * k * hf * advanceHeight + extra;
        widest = std::max(widest, lineWidth);
    }
    if (centred) {
        penX -= widest / 2.0f;
        lineStart -= widest / 2.0f;
    }

    const float across = hf * advanceHeight * k;
    const float down = lineHeight * k;

    void* locked = nullptr;
    quadBuffer->Lock(0, 0, &locked, D3DLOCK_DISCARD);
    auto* out = static_cast<TextVertex*>(locked);
    int vertices = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<signed char>(*p);
        if (c == '\n') {
            penY += lineHeight;
            penX = lineStart;
            continue;
        }
        if (!hasGlyph(c)) {
            continue;
        }
        const text::GlyphRect& g = glyphs[c - 32];
        const float gw = (g.right - g.left) * static_cast<float>(text::kAtlasSize) * across;
        const float gh = (g.bottom - g.top) * static_cast<float>(text::kAtlasSize) * down;
        const TextVertex topLeft{penX, penY, depth, 1.0f, colour, g.left, g.top};
        const TextVertex topRight{penX + gw, penY, depth, 1.0f, colour, g.right, g.top};
        const TextVertex bottomRight{penX + gw, penY + gh, depth, 1.0f, colour, g.right, g.bottom};
        const TextVertex bottomLeft{penX, penY + gh, depth, 1.0f, colour, g.left, g.bottom};
        if (out != nullptr) {
            const TextVertex quad[6] = {topLeft, topRight, bottomRight, topLeft, bottomRight, bottomLeft};
            std::copy(quad, quad + 6, out + vertices);
        }
        vertices += 6;
        penX += gw + extra;
        if (vertices > kBatchVertexLimit) {
            quadBuffer->Unlock();
            d3d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices / 3));
            quadBuffer->Lock(0, 0, &locked, D3DLOCK_DISCARD);
            out = static_cast<TextVertex*>(locked);
            vertices = 0;
        }
    }
    quadBuffer->Unlock();
    if (vertices > 0) {
        d3d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices / 3));
    }
    return 0;
}
