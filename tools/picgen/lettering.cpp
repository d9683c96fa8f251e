#include "tools/picgen/lettering.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>

namespace picgen {

struct Lettering::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    ~Face() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
        if (library != nullptr) {
            FT_Done_FreeType(library);
        }
    }
};

Lettering::Lettering() = default;
Lettering::~Lettering() = default;

bool Lettering::open(const std::string& fontPath, std::string* why) {
    auto face = std::make_unique<Face>();
    if (FT_Init_FreeType(&face->library) != 0) {
        *why = "FreeType did not start";
        return false;
    }
    if (FT_New_Face(face->library, fontPath.c_str(), 0, &face->face) != 0) {
        *why = "FreeType cannot open the font " + fontPath;
        return false;
    }
    face_ = std::move(face);
    return true;
}

namespace {

// One rendered glyph, placed relative to the line's pen origin (y down).
struct Placed {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<std::uint8_t> coverage;
};

} // namespace

Mask Lettering::render(const std::string& text, int pixelSize) const {
    FT_Face face = face_->face;
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    std::vector<Placed> glyphs;
    long penX = 0; // 26.6 fixed point
    FT_UInt previous = 0;
    for (unsigned char c : text) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (previous != 0 && index != 0 && FT_HAS_KERNING(face)) {
            FT_Vector kern{};
            FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kern);
            penX += kern.x;
        }
        previous = index;
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) {
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        Placed placed;
        // Rounded to the nearest pixel (26.6: 64 units a pixel).
        placed.left = static_cast<int>((penX + 32) >> 6) + slot->bitmap_left;
        placed.top = -slot->bitmap_top;
        placed.width = static_cast<int>(bitmap.width);
        placed.rows = static_cast<int>(bitmap.rows);
        for (int y = 0; y < placed.rows; ++y) {
            const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
            placed.coverage.insert(placed.coverage.end(), row, row + placed.width);
        }
        if (placed.width > 0 && placed.rows > 0) {
            glyphs.push_back(std::move(placed));
        }
        penX += slot->advance.x;
    }

    // Ink bounds over every covered pixel.
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
    for (const Placed& g : glyphs) {
        for (int y = 0; y < g.rows; ++y) {
            for (int x = 0; x < g.width; ++x) {
                if (g.coverage[static_cast<std::size_t>(y * g.width + x)] != 0) {
                    x0 = std::min(x0, g.left + x);
                    x1 = std::max(x1, g.left + x + 1);
                    y0 = std::min(y0, g.top + y);
                    y1 = std::max(y1, g.top + y + 1);
                }
            }
        }
    }
    Mask mask;
    if (x0 >= x1) {
        return mask;
    }
    mask.width = x1 - x0;
    mask.height = y1 - y0;
    mask.alpha.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 0);
    for (const Placed& g : glyphs) {
        for (int y = 0; y < g.rows; ++y) {
            for (int x = 0; x < g.width; ++x) {
                const std::uint8_t c = g.coverage[static_cast<std::size_t>(y * g.width + x)];
                if (c == 0) {
                    continue;
                }
                // Overlapping glyphs keep the stronger coverage.
                std::uint8_t& dst =
                    mask.alpha[static_cast<std::size_t>(g.top + y - y0) * static_cast<std::size_t>(mask.width) +
                               static_cast<std::size_t>(g.left + x - x0)];
                dst = std::max(dst, c);
            }
        }
    }
    return mask;
}

Mask Lettering::fit(const std::string& text, int startSize, int maxWidth, int maxHeight) const {
    for (int size = startSize; size > 4; --size) {
        Mask mask = render(text, size);
        if (mask.width <= maxWidth && mask.height <= maxHeight) {
            return mask;
        }
    }
    return render(text, 4);
}

} // namespace picgen
