// Memory DCs, DIB sections and text in the GDI layer: measures and pixels of
// real glyphs drawn by FreeType.
#include "platform/gdi/fontface.h"
#include "platform/gdi/gdi.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A DIB section header: a negative height stores the rows top down.
BITMAPINFO sectionInfo(int width, int height, WORD bits) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    return info;
}

struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    Surface(int w, int h, bool topDown = true) : width(w), height(h) {
        const BITMAPINFO info = sectionInfo(w, topDown ? -h : h, 32);
        dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<std::uint32_t*>(bits);
        SelectObject(dc, bitmap);
    }
    ~Surface() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

HFONT font(int height, const char* face = "Tahoma", DWORD quality = ANTIALIASED_QUALITY, int weight = FW_NORMAL) {
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, quality, VARIABLE_PITCH, face);
}

SIZE extent(HDC dc, const std::string& s) {
    SIZE size{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, s.data(), static_cast<int>(s.size()), &size));
    return size;
}

TEST(MulDiv, RoundsHalfAwayFromZeroWithA64BitProduct) {
    EXPECT_EQ(MulDiv(36, 96, 72), 48); // the font atlas's height at 96 dots per inch
    EXPECT_EQ(MulDiv(8, 96, 72), 11);  // 10.67
    EXPECT_EQ(MulDiv(10, 96, 72), 13); // 13.33
    EXPECT_EQ(MulDiv(5, 3, 2), 8);     // 7.5 away from zero
    EXPECT_EQ(MulDiv(-5, 3, 2), -8);
    EXPECT_EQ(MulDiv(5, -3, -2), 8);
    EXPECT_EQ(MulDiv(1 << 30, 1 << 20, 1 << 25), 1 << 25);
    EXPECT_EQ(MulDiv(7, 1, 0), -1);
    EXPECT_EQ(MulDiv(1 << 30, 1 << 30, 1), -1); // does not fit
}

TEST(Fonts, TahomaFallsBackToAMetricCloseSansFace) {
    HFONT tahoma = font(-48);
    ASSERT_NE(tahoma, nullptr);
    const std::string family = fontFamilyName(tahoma);
    // Liberation Sans when installed (it is in the set-up list), else DejaVu Sans.
    EXPECT_TRUE(family == "Tahoma" || family == "Liberation Sans" || family == "DejaVu Sans") << family;
    HFONT dejavu = font(-48, "DejaVu Sans");
    EXPECT_STREQ(fontFamilyName(dejavu), "DejaVu Sans");
    DeleteObject(tahoma);
    DeleteObject(dejavu);
    EXPECT_EQ(CreateFontA(-12, 5, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma"), nullptr); // width refused
}

TEST(TextOutput, GlyphPixelsStayInsideTheExtentAsGreyLevels) {
    Surface s(256, 96);
    SelectObject(s.dc, font(-48));
    SetTextColor(s.dc, RGB(255, 255, 255));
    SetBkColor(s.dc, RGB(0, 0, 0));
    SetTextAlign(s.dc, TA_TOP | TA_LEFT);
    const int x0 = 20;
    const int y0 = 10;
    ASSERT_TRUE(ExtTextOutA(s.dc, x0, y0, ETO_OPAQUE | ETO_CLIPPED, nullptr, "Ag", 2, nullptr));
    const SIZE box = extent(s.dc, "Ag");
    int lit = 0;
    int partial = 0;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t p = s.at(x, y);
            if ((p & 0xFFFFFF) == 0) {
                continue;
            }
            // The same level in blue, green and red; the top byte is left alone.
            const unsigned b = p & 0xFF;
            EXPECT_EQ(p, b * 0x010101u) << std::hex << p;
            ++lit;
            partial += b < 255 ? 1 : 0;
            // A glyph may overhang its advance by a pixel or two at the
            // sides, never above or below the cell.
            EXPECT_TRUE(x >= x0 - 2 && x < x0 + box.cx + 2 && y >= y0 && y < y0 + box.cy) << x << "," << y;
        }
    }
    EXPECT_GT(lit, 100);
    EXPECT_GT(partial, 10); // antialiased edges
}

TEST(TextOutput, SpaceDrawsNothingButCanFillItsCell) {
    Surface s(64, 64);
    SelectObject(s.dc, font(-24));
    SetTextColor(s.dc, RGB(255, 255, 255));
    SetBkMode(s.dc, TRANSPARENT);
    ExtTextOutA(s.dc, 5, 5, 0, nullptr, " ", 1, nullptr);
    ASSERT_EQ(std::count(s.pixels, s.pixels + 64 * 64, 0u), 64 * 64);
    // Opaque background mode fills exactly the space's cell.
    SetBkMode(s.dc, OPAQUE);
    SetBkColor(s.dc, RGB(1, 2, 3));
    ExtTextOutA(s.dc, 5, 5, 0, nullptr, " ", 1, nullptr);
    const SIZE cell = extent(s.dc, " ");
    int filled = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (s.at(x, y) != 0) {
                EXPECT_EQ(s.at(x, y), 0x010203u);
                ++filled;
            }
        }
    }
    EXPECT_EQ(filled, cell.cx * cell.cy);
}

TEST(TextOutput, ClippingOpaqueRectanglesAndColourOrder) {
    Surface s(128, 64);
    SelectObject(s.dc, font(-40));
    SetBkMode(s.dc, TRANSPARENT);
    SetTextColor(s.dc, RGB(255, 0, 0));
    SetBkColor(s.dc, RGB(0, 0, 255));
    const RECT clip{10, 10, 30, 50};
    ExtTextOutA(s.dc, 4, 4, ETO_OPAQUE | ETO_CLIPPED, &clip, "MW", 2, nullptr);
    bool red = false;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t p = s.at(x, y) & 0xFFFFFF;
            const bool inside = x >= 10 && x < 30 && y >= 10 && y < 50;
            if (!inside) {
                ASSERT_EQ(p, 0u) << x << "," << y;
                continue;
            }
            // Red text over the blue fill: byte 2 is red, byte 0 blue.
            EXPECT_EQ((p >> 8) & 0xFF, 0u);
            EXPECT_EQ(((p >> 16) & 0xFF) + (p & 0xFF), 255u);
            red = red || (p >> 16) == 0xFF;
        }
    }
    EXPECT_TRUE(red);
}

TEST(TextOutput, AlignmentAndBottomUpSections) {
    Surface top(100, 60, true);
    Surface bottom(100, 60, false);
    for (Surface* s : {&top, &bottom}) {
        SelectObject(s->dc, font(-20, "Tahoma", NONANTIALIASED_QUALITY));
        SetBkMode(s->dc, TRANSPARENT);
        SetTextColor(s->dc, RGB(255, 255, 255));
        SetTextAlign(s->dc, TA_BASELINE | TA_RIGHT);
        ExtTextOutA(s->dc, 90, 40, 0, nullptr, "_I", 2, nullptr);
    }
    TEXTMETRICA tm{};
    GetTextMetricsA(top.dc, &tm);
    const SIZE box = extent(top.dc, "_I");
    int lowest = -1;
    int leftmost = 1000;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 100; ++x) {
            const std::uint32_t p = top.at(x, y);
            // Black and white only without antialiasing.
            EXPECT_TRUE(p == 0 || p == 0xFFFFFF) << std::hex << p;
            EXPECT_EQ(p, bottom.at(x, 59 - y)); // same picture, rows stored bottom up
            if (p != 0) {
                lowest = std::max(lowest, y);
                leftmost = std::min(leftmost, x);
            }
        }
    }
    EXPECT_LE(lowest, 40 + tm.tmDescent);
    EXPECT_GE(lowest, 40); // the underscore sits on or below the baseline
    EXPECT_GE(leftmost, 90 - box.cx - 2);
}

// A face's metrics worked out from FreeType's own tables, as GDI defines them:
// a negative height is the em in pixels, a positive one the cell, which the
// OS/2 table's Windows ascent and descent divide; each of the two is scaled to
// the em and rounded to whole pixels.
struct FaceMetrics {
    int em = 0;
    int ascent = 0;
    int descent = 0;
    int maxAdvance = 0;
    bool bold = false;
    int textWidth = 0; // the advances of the text, summed
    int xWidth = 0;    // the advance of "x"
};

// Advances are the hinted 26.6 advance rounded to the nearest pixel (the
// hinter keeps it whole), hinted for `target`.
FaceMetrics freetypeMetrics(const std::string& family, int height, int weight, FT_Int32 target = FT_LOAD_TARGET_NORMAL,
                            const std::string& text = "") {
    FaceMetrics m;
    platform::gdi::FaceFile file;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (!platform::gdi::findFaceFile(family, weight, false, file) || FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, file.path.c_str(), file.index, &face) != 0) {
        ADD_FAILURE() << "no face for " << family;
        return m;
    }
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    EXPECT_NE(os2, nullptr) << family;
    const double a = os2 != nullptr ? os2->usWinAscent : 0;
    const double d = os2 != nullptr ? os2->usWinDescent : 0;
    const double units = face->units_per_EM;
    m.em = height < 0 ? -height : static_cast<int>(std::floor(height * units / (a + d) + 0.5));
    m.ascent = static_cast<int>(std::floor(a * m.em / units + 0.5));
    m.descent = static_cast<int>(std::floor(d * m.em / units + 0.5));
    m.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(m.em));
    const auto advance = [&](FT_UInt index) {
        FT_Load_Glyph(face, index, target);
        return static_cast<int>((face->glyph->advance.x + 32) >> 6);
    };
    for (FT_ULong c = 0; c < 256; ++c) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (index != 0 && FT_Load_Glyph(face, index, FT_LOAD_TARGET_NORMAL) == 0) {
            m.maxAdvance = std::max(m.maxAdvance, static_cast<int>((face->glyph->advance.x + 32) >> 6));
        }
    }
    for (unsigned char c : text) {
        m.textWidth += advance(FT_Get_Char_Index(face, c));
    }
    m.xWidth = advance(FT_Get_Char_Index(face, 'x'));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return m;
}

TEST(TextMetrics, AtSeveralSizesFromTheFacesTables) {
    Surface s(8, 8);
    EXPECT_EQ(GetDeviceCaps(s.dc, LOGPIXELSY), 96);
    EXPECT_EQ(SetMapMode(s.dc, MM_TEXT), MM_TEXT);
    for (int weight : {FW_NORMAL, FW_BOLD}) {
        for (int height : {-7, -11, -13, -17, -25, -48, 12, 20, 30, 45}) {
            HFONT f = font(height, "Tahoma", ANTIALIASED_QUALITY, weight);
            ASSERT_NE(f, nullptr);
            HGDIOBJ old = SelectObject(s.dc, f);
            const FaceMetrics want = freetypeMetrics(fontFamilyName(f), height, weight);
            TEXTMETRICA tm{};
            ASSERT_TRUE(GetTextMetricsA(s.dc, &tm));
            const std::string what = std::to_string(height) + " weight " + std::to_string(weight);
            // ascent, descent, height, internal leading, widest advance, weight, extent height
            const int cell = want.ascent + want.descent;
            EXPECT_EQ((std::array<LONG, 7>{tm.tmAscent, tm.tmDescent, tm.tmHeight, tm.tmInternalLeading,
                                           tm.tmMaxCharWidth, tm.tmWeight, extent(s.dc, "Mg").cy}),
                      (std::array<LONG, 7>{want.ascent, want.descent, cell, cell - want.em, want.maxAdvance,
                                           weight == FW_BOLD && want.bold ? FW_BOLD : FW_NORMAL, cell}))
                << what;
            EXPECT_FALSE(DeleteObject(f)); // still selected
            SelectObject(s.dc, old);
            EXPECT_TRUE(DeleteObject(f));
        }
    }
}

TEST(TextExtent, WidthsAreTheFaceAdvancesInWholePixels) {
    Surface s(8, 8);
    std::string text; // every printable character, each one advancing by its face's advance
    for (char c = ' '; c <= '~'; ++c) {
        text += c;
    }
    for (int em : {11, 13, 48}) {
        for (DWORD quality : {ANTIALIASED_QUALITY, NONANTIALIASED_QUALITY}) {
            HFONT f = font(-em, "Tahoma", quality);
            HGDIOBJ old = SelectObject(s.dc, f);
            const FT_Int32 target = quality == ANTIALIASED_QUALITY ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
            const std::string family = fontFamilyName(f);
            const FaceMetrics want = freetypeMetrics(family, -em, FW_NORMAL, target, text);
            EXPECT_EQ(extent(s.dc, text).cx, want.textWidth) << em << " " << family;
            EXPECT_EQ(extent(s.dc, "").cx, 0);
            TEXTMETRICA tm{};
            GetTextMetricsA(s.dc, &tm);
            EXPECT_EQ(tm.tmAveCharWidth, want.xWidth) << em;
            EXPECT_FALSE(DeleteObject(f)); // still selected
            SelectObject(s.dc, old);
            EXPECT_TRUE(DeleteObject(f));
        }
    }
}

TEST(Objects, BadHandlesAndSectionsFail) {
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(0x1234)), nullptr);
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(0x1234)));
    EXPECT_FALSE(ExtTextOutA(nullptr, 0, 0, 0, nullptr, "x", 1, nullptr));
    const BITMAPINFO info = sectionInfo(16, -16, 24);
    void* bits = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    // A bitmap belongs to one DC at a time and cannot go while selected.
    Surface a(4, 4);
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, a.bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(a.bitmap));
    DeleteDC(other);
}

} // namespace
