// drawText against a mock device: states, batches of 50 glyphs, measuring,
// centring, line feeds and skipped codes.
#include "dx/dxdevice.h"
#include "tests/dx/fakedevice.h"
#include "text/fontatlas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::_;
using ::testing::NiceMock;

namespace {

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR c;
    float u, v;
};

class DrawTextTest : public ::testing::Test {
  protected:
    DrawTextTest() : buffer(8400, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY), atlas(&d) {
        d.d3dDevice = &mock;
        d.targetSize[0] = dx::TargetSize{800.0f, 600.0f};
        atlas.quadBuffer = &buffer;
        // A 20-texel-high cell; glyph widths in texels: blank 10, 'A' 30, 'B' 20.
        auto rect = [](float x, float w) {
            return text::GlyphRect{x / 512.0f, 40.0f / 512.0f, (x + w) / 512.0f, 60.0f / 512.0f};
        };
        for (text::GlyphRect& g : atlas.glyphs) {
            g = rect(100, 10);
        }
        atlas.glyphs[0] = rect(0, 10);
        atlas.glyphs['A' - 32] = rect(200, 30);
        atlas.glyphs['B' - 32] = rect(300, 20);
        ON_CALL(mock, DrawPrimitive(_, _, _)).WillByDefault([this](D3DPRIMITIVETYPE, UINT start, UINT count) {
            batches.push_back(count);
            const auto* v = reinterpret_cast<const Vertex*>(buffer.bytes.data()) + start;
            drawn.insert(drawn.end(), v, v + count * 3);
            unlockedAtDraw = unlockedAtDraw && !buffer.locked;
            return D3D_OK;
        });
    }
    NiceMock<dx::test::Device> mock;
    dx::test::VertexBuffer buffer;
    device d;
    fontAtlas atlas;
    std::vector<UINT> batches;
    std::vector<Vertex> drawn;
    bool unlockedAtDraw = true;
};

TEST_F(DrawTextTest, EmptyTextDrawsNothing) {
    EXPECT_CALL(mock, DrawPrimitive(_, _, _)).Times(0);
    EXPECT_EQ(atlas.drawText(0.5f, 0.5f, 0.0f, 0.1f, 0.1f, 0.0f, 0xFFFFFFFFu, "", false), 0);
    EXPECT_FALSE(buffer.locked);
}

// The states drawText leaves set, in the order it sets them: the atlas on
// stage 0; blending by source alpha, no culling, no depth test, no fog;
// stage 0 texture x diffuse in colour and alpha; the 28-byte pre-transformed
// format on stream 0. An empty text sets them all the same.
TEST_F(DrawTextTest, EmptyTextStillSetsTheStates) {
    dx::test::Texture atlasTexture(512, 512, 1, D3DFMT_A8R8G8B8, 4, 0);
    atlas.texture = &atlasTexture;
    std::vector<std::string> calls;
    auto note = [&calls](std::string what) {
        calls.push_back(std::move(what));
        return D3D_OK;
    };
    ON_CALL(mock, SetTexture(_, _)).WillByDefault([&](DWORD stage, IDirect3DBaseTexture9* t) {
        return note("texture " + std::to_string(stage) + (t == atlas.texture ? " atlas" : " other"));
    });
    ON_CALL(mock, SetRenderState(_, _)).WillByDefault([&](D3DRENDERSTATETYPE state, DWORD value) {
        return note("rs " + std::to_string(state) + " " + std::to_string(value));
    });
    ON_CALL(mock, SetTextureStageState(_, _, _))
        .WillByDefault([&](DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
            return note("tss " + std::to_string(stage) + " " + std::to_string(type) + " " + std::to_string(value));
        });
    ON_CALL(mock, SetFVF(_)).WillByDefault([&](DWORD fvf) { return note("fvf " + std::to_string(fvf)); });
    ON_CALL(mock, SetStreamSource(_, _, _, _))
        .WillByDefault([&](UINT stream, IDirect3DVertexBuffer9* vb, UINT offset, UINT stride) {
            return note("stream " + std::to_string(stream) + (vb == &buffer ? " quads " : " other ") +
                        std::to_string(offset) + " " + std::to_string(stride));
        });
    // D3DRS_ALPHABLENDENABLE 27, SRCBLEND 19 = SRCALPHA 5, DESTBLEND 20 =
    // INVSRCALPHA 6, CULLMODE 22 = NONE 1, ZENABLE 7, FOGENABLE 28; stage
    // states COLOROP 1 and ALPHAOP 4 = MODULATE 4, arguments 2, 3, 5, 6 =
    // TEXTURE 2 and DIFFUSE 0; XYZRHW | DIFFUSE | TEX1 = 0x144.
    const std::vector<std::string> expected = {
        "texture 0 atlas", "rs 27 1",   "rs 19 5",   "rs 20 6",   "rs 22 1",
        "rs 7 0",          "rs 28 0",   "tss 0 1 4", "tss 0 2 2", "tss 0 3 0",
        "tss 0 4 4",       "tss 0 5 2", "tss 0 6 0", "fvf 324",   "stream 0 quads 0 28"};
    for (const char* text : {"", "AB"}) {
        calls.clear();
        atlas.drawText(0.5f, 0.5f, 0.0f, 0.1f, 0.1f, 0.0f, 0xFFFFFFFFu, text, true);
        EXPECT_EQ(calls, expected) << "text \"" << text << "\"";
    }
    atlas.texture = nullptr;
}

TEST_F(DrawTextTest, HundredAndTwentyCharactersInThreeBatches) {
    const std::string text(120, 'A');
    atlas.drawText(0.0f, 0.0f, 0.0f, 0.01f, 0.01f, 0.0f, 0xFF00FF00u, text.c_str(), false);
    EXPECT_EQ(batches, (std::vector<UINT>{100, 100, 40}));
    EXPECT_TRUE(unlockedAtDraw);
    EXPECT_FALSE(buffer.locked);
    // Every lock discards what the previous batch left.
    EXPECT_EQ(buffer.lockFlags, (std::vector<DWORD>{D3DLOCK_DISCARD, D3DLOCK_DISCARD, D3DLOCK_DISCARD}));
    ASSERT_EQ(drawn.size(), 720u);
    EXPECT_EQ(drawn[0].c, 0xFF00FF00u);
    // Glyph 51, the first of the second batch, starts where glyph 50 ends.
    EXPECT_FLOAT_EQ(drawn[6 * 50].x, drawn[6 * 49 + 1].x);
    EXPECT_GT(drawn[6 * 50].x, drawn[6 * 49].x);
    EXPECT_FLOAT_EQ(drawn[6 * 100].x, drawn[6 * 99 + 1].x);
}

TEST_F(DrawTextTest, GlyphSizesFollowTheCellAndKeepItsAspect) {
    // advanceHeight = glyphHeight: a glyph keeps its cell's aspect in pixels.
    atlas.drawText(0.25f, 0.5f, 0.75f, 0.1f, 0.1f, 0.0f, 0x80FFFFFFu, "A", false);
    ASSERT_EQ(drawn.size(), 6u);
    const float s = 600.0f * 0.1f;          // line height, 60 pixels for a 20-texel cell
    const float x0 = 800.0f * 0.25f - 0.5f; // 199.5
    const float y0 = 600.0f * 0.5f - 0.5f - 0.6f * s;
    const float w = 30.0f * (s / 20.0f); // 30 texels wide at 3 pixels per texel
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (const Vertex& v : drawn) {
        minX = std::min(minX, v.x);
        maxX = std::max(maxX, v.x);
        minY = std::min(minY, v.y);
        maxY = std::max(maxY, v.y);
        EXPECT_FLOAT_EQ(v.z, 0.75f);
        EXPECT_FLOAT_EQ(v.rhw, 1.0f);
        EXPECT_EQ(v.c, 0x80FFFFFFu);
        if (v.x == minX && v.y == minY) {
            EXPECT_FLOAT_EQ(v.u, 200.0f / 512.0f);
            EXPECT_FLOAT_EQ(v.v, 40.0f / 512.0f);
        }
    }
    EXPECT_FLOAT_EQ(minX, x0);
    EXPECT_FLOAT_EQ(minY, y0);
    EXPECT_NEAR(maxX - minX, w, 1e-3f);
    EXPECT_NEAR(maxY - minY, s, 1e-3f);
}

TEST_F(DrawTextTest, CentredLinesShareTheLeftEdgeOfTheWidest) {
    atlas.drawText(0.5f, 0.5f, 0.0f, 0.1f, 0.1f, 0.0f, 0xFFFFFFFFu, "AB\nA", true);
    ASSERT_EQ(drawn.size(), 18u);
    const float perTexel = 600.0f * 0.1f / 20.0f;
    const float widest = (30.0f + 20.0f) * perTexel;
    const float left = 800.0f * 0.5f - 0.5f - widest / 2.0f;
    EXPECT_NEAR(drawn[0].x, left, 1e-3f);
    EXPECT_NEAR(drawn[12].x, left, 1e-3f);
    EXPECT_NEAR(drawn[6].x, left + 30.0f * perTexel, 1e-3f);
    EXPECT_NEAR(drawn[12].y - drawn[0].y, 60.0f, 1e-3f);
}

TEST_F(DrawTextTest, CodesOutsideTheFontTakeNoSpace) {
    const char plain[] = "AB";
    const char withOthers[] = {'A', static_cast<char>(200), '\t', 'B', '\0'};
    atlas.drawText(0.5f, 0.2f, 0.0f, 0.05f, 0.1f, 0.5f, 0xFFFFFFFFu, plain, true);
    const std::vector<Vertex> first = drawn;
    drawn.clear();
    atlas.drawText(0.5f, 0.2f, 0.0f, 0.05f, 0.1f, 0.5f, 0xFFFFFFFFu, withOthers, true);
    ASSERT_EQ(drawn.size(), first.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_FLOAT_EQ(drawn[i].x, first[i].x) << i;
        EXPECT_FLOAT_EQ(drawn[i].u, first[i].u) << i;
    }
    // Spacing adds 800 × 0.05 × 0.5 = 20 pixels after each glyph.
    const float gw = 30.0f * (600.0f * 0.05f / 20.0f);
    EXPECT_NEAR(drawn[6].x - drawn[0].x, gw + 20.0f, 1e-3f);
}

TEST(AtlasTexel, BlackIsTransparentWhiteAndFullBlueIsOpaque) {
    EXPECT_EQ(text::atlasTexel(0x00000000u), 0x0FFFu);
    EXPECT_EQ(text::atlasTexel(0x00FFFFFFu), 0xFFFFu);
    EXPECT_EQ(text::atlasTexel(0x0000007Fu), 0x7FFFu);
    // Only the lowest byte counts: a carry into green leaves alpha as blue's top bits.
    EXPECT_EQ(text::atlasTexel(0x00000110u), 0x1FFFu);
}

} // namespace
