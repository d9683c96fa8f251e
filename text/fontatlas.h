// The bitmap font of the screen texts: the 95 printable ASCII characters of a
// 36-point "Tahoma" drawn through the graphics device interface into a
// 512 × 512 atlas whose alpha holds the glyphs (colour white), roughened by a
// seeded random smudge, and the quads that drawText cuts out of it.
//
// Made once at start-up for the one device; drawText serves every call from
// one dynamic vertex buffer locked with discard.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>

class device;

namespace text {

inline constexpr int kAtlasSize = 512;
// Vertices the quad buffer holds: 50 glyphs of two triangles.
inline constexpr int kQuadBufferVertices = 300;

// Texture rectangle of a glyph as fractions of the atlas.
struct GlyphRect {
    float left;
    float top;
    float right;
    float bottom;
};

} // namespace text

class fontAtlas {
  public:
    explicit fontAtlas(device* ownerDevice)
        : texture(nullptr), quadBuffer(nullptr), textScale(0.0f), glyphs{}, owner(ownerDevice) {}

    // Draws the atlas and makes the texture and the quad buffer. Returns 0, the
    // device's failure code when the texture or the buffer cannot be made, or
    // E_FAIL when the font cannot be made.
    HRESULT create();

    // Draws text on the current target: x, y (left edge or centre, and line
    // position) and the sizes are fractions of the back buffer; line feeds
    // start new lines; characters outside 32..127 take no space. Leaves
    // alpha blending on and culling, depth test and fog off. Returns 0.
    HRESULT drawText(float x, float y, float depth, float advanceHeight, float glyphHeight, float spacing,
                     D3DCOLOR colour, const char* text, bool centred);

    IDirect3DTexture9* texture;
    IDirect3DVertexBuffer9* quadBuffer;
    float textScale;
    text::GlyphRect glyphs[96];
    device* owner;
};

namespace text {

// Adds randomly chosen neighbours (above, below, right, left) into the pixels
// of a 512 × 512 block, walking with random steps of 0 to 2, from the runtime
// generator seeded with 1. Whole-word additions: channels carry into each other.
void smudge(std::uint32_t* pixels);

// A4R4G4B4 texel for a bitmap pixel: white, alpha from the top four bits of its lowest byte.
constexpr std::uint16_t atlasTexel(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((pixel >> 4) & 0xFu) << 12 | 0x0FFFu);
}

} // namespace text
