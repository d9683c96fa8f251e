// The font atlas made through the real GDI into a mock device's texture:
// glyph layout, texel values, the lock's pitch and determinism.
#include "dx/dxdevice.h"
#include "platform/gdi/gdi.h"
#include "tests/dx/fakedevice.h"
#include "text/fontatlas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

class AtlasTest : public ::testing::Test {
  protected:
    AtlasTest() { d.d3dDevice = &mock; }
    NiceMock<dx::test::Device> mock;
    device d;
};

// The cell height GDI gives the 36-point face at 96 dots per inch (48 pixels em).
int cellHeight() {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(-48, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, "Tahoma");
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32A(dc, "A", 1, &extent);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
    return extent.cy;
}

TEST_F(AtlasTest, GlyphsAreLaidOutInRowsOfTheAtlas) {
    EXPECT_CALL(mock, CreateTexture(512, 512, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, _, _));
    EXPECT_CALL(mock, CreateVertexBuffer(8400, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, _, _));
    fontAtlas atlas(&d);
    ASSERT_EQ(atlas.create(), D3D_OK);
    EXPECT_EQ(atlas.textScale, 1.0f);
    EXPECT_NE(atlas.quadBuffer, nullptr);
    const float cell = static_cast<float>(cellHeight());
    int rows = 1;
    for (int c = 0; c < 95; ++c) {
        const text::GlyphRect& g = atlas.glyphs[c];
        EXPECT_FLOAT_EQ((g.bottom - g.top) * 512.0f, cell) << c;
        EXPECT_LE(g.right * 512.0f + 1.0f, 512.0f) << c;
        EXPECT_GT(g.right, g.left) << c;
        if (c == 0) {
            EXPECT_EQ(std::make_pair(g.left, g.top), std::make_pair(0.0f, 0.0f));
            continue;
        }
        const text::GlyphRect& before = atlas.glyphs[c - 1];
        if (g.top == before.top) {
            EXPECT_FLOAT_EQ(g.left * 512.0f, before.right * 512.0f + 3.0f) << c;
        } else {
            ++rows;
            EXPECT_EQ(g.left, 0.0f) << c;
            EXPECT_FLOAT_EQ(g.top * 512.0f, before.top * 512.0f + cell + 1.0f) << c;
            // It moved because it would not have fitted after the previous glyph.
            EXPECT_GT(before.right * 512.0f + 3.0f + (g.right - g.left) * 512.0f + 1.0f, 512.0f) << c;
        }
    }
    EXPECT_GE(rows, 3);
    // Entry 95 (code 127) has no glyph.
    EXPECT_EQ(atlas.glyphs[95].right, 0.0f);
}

TEST_F(AtlasTest, TexelsAreWhiteWithTheGlyphInAlpha) {
    mock.texturePadding = 64;
    fontAtlas atlas(&d);
    ASSERT_EQ(atlas.create(), D3D_OK);
    const dx::test::Texture& t = *mock.textures[0];
    int transparent = 0;
    int opaque = 0;
    for (UINT y = 0; y < 512; ++y) {
        for (UINT x = 0; x < 512; ++x) {
            const std::uint16_t texel = t.texel16(0, x, y);
            ASSERT_EQ(texel & 0x0FFF, 0x0FFF) << x << "," << y;
            transparent += texel == 0x0FFF ? 1 : 0;
            opaque += texel == 0xFFFF ? 1 : 0;
        }
        // Bytes past the 1,024 of each row belong to the padding the lock reported.
        EXPECT_EQ(t.levels[0].bytes[y * t.levels[0].pitch + 1024], 0xCD);
    }
    // The space glyph's cell and everything past the last row are background.
    const text::GlyphRect& blank = atlas.glyphs[0];
    EXPECT_EQ(t.texel16(0, static_cast<UINT>(blank.right * 512.0f) - 1, 5), 0x0FFF);
    EXPECT_EQ(t.texel16(0, 500, 505), 0x0FFF);
    EXPECT_GT(transparent, 512 * 512 / 2);
    EXPECT_GT(opaque, 500);
}

TEST_F(AtlasTest, TwoAtlasesAreIdentical) {
    fontAtlas first(&d);
    fontAtlas second(&d);
    ASSERT_EQ(first.create(), D3D_OK);
    ASSERT_EQ(second.create(), D3D_OK);
    EXPECT_EQ(mock.textures[0]->levels[0].bytes, mock.textures[1]->levels[0].bytes);
    EXPECT_EQ(std::memcmp(first.glyphs, second.glyphs, sizeof first.glyphs), 0);
}

TEST_F(AtlasTest, DeviceFailuresAreReturned) {
    EXPECT_CALL(mock, CreateTexture(_, _, _, _, _, _, _, _))
        .WillOnce(Return(D3DERR_OUTOFVIDEOMEMORY))
        .WillRepeatedly(::testing::DoDefault());
    fontAtlas noTexture(&d);
    EXPECT_EQ(noTexture.create(), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(noTexture.texture, nullptr);

    EXPECT_CALL(mock, CreateVertexBuffer(_, _, _, _, _, _)).WillOnce(Return(D3DERR_INVALIDCALL));
    fontAtlas noBuffer(&d);
    EXPECT_EQ(noBuffer.create(), D3DERR_INVALIDCALL);
}

} // namespace
