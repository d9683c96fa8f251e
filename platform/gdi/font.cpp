#include "platform/gdi/fontface.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <strings.h>
#include <tuple>
#include <vector>

namespace platform::gdi {

namespace {

// Faces whose metrics come closest to a face that is not installed. Tahoma's
// advance widths lie near Arial's (Liberation Sans keeps Arial's metrics);
// Verdana and its relative DejaVu Sans set the same text noticeably wider.
struct Fallback {
    const char* face;
    const char* substitutes[2];
};
constexpr Fallback kFallbacks[] = {
    {"Tahoma", {"Liberation Sans", "DejaVu Sans"}},
    {"MS Shell Dlg", {"Liberation Sans", "DejaVu Sans"}},
    {"MS Sans Serif", {"Liberation Sans", "DejaVu Sans"}},
};

FT_Library freetype() {
    static FT_Library library = [] {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) != 0) {
            lib = nullptr;
        }
        return lib;
    }();
    return library;
}

} // namespace

bool findFaceFile(const std::string& faceName, int weight, bool italic, FaceFile& out) {
    static std::mutex lock;
    static std::map<std::tuple<std::string, bool, bool>, FaceFile> cache;
    std::lock_guard<std::mutex> guard(lock);
    const auto key = std::make_tuple(faceName, weight >= 600, italic);
    if (auto it = cache.find(key); it != cache.end()) {
        out = it->second;
        return true;
    }
    std::vector<std::string> tries{faceName};
    for (const Fallback& f : kFallbacks) {
        if (strcasecmp(f.face, faceName.c_str()) == 0) {
            tries.insert(tries.end(), std::begin(f.substitutes), std::end(f.substitutes));
        }
    }
    FaceFile found;
    bool exact = false;
    for (const std::string& name : tries) {
        if (matchFamily(name, weight, italic, found, exact) && exact) {
            cache[key] = found;
            out = found;
            return true;
        }
    }
    // No preferred face is installed: whatever fontconfig offers for the name.
    if (!matchFamily(faceName, weight, italic, found, exact)) {
        return false;
    }
    cache[key] = found;
    out = found;
    return true;
}

struct FontFace::Impl {
    FT_Face face = nullptr;
    FT_Int32 loadFlags = 0;
    std::vector<std::uint8_t> coverage;
};

FontFace::~FontFace() {
    if (impl_ && impl_->face != nullptr) {
        FT_Done_Face(impl_->face);
    }
}

std::unique_ptr<FontFace> FontFace::open(const FaceRequest& request) {
    FT_Library library = freetype();
    FaceFile file;
    const std::string name = request.faceName.empty() ? std::string("sans-serif") : request.faceName;
    if (library == nullptr || !findFaceFile(name, request.weight, request.italic, file)) {
        return nullptr;
    }
    std::unique_ptr<FontFace> font(new FontFace);
    font->impl_ = std::make_unique<Impl>();
    if (FT_New_Face(library, file.path.c_str(), file.index, &font->impl_->face) != 0) {
        return nullptr;
    }
    FT_Face face = font->impl_->face;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    font->family_ = file.family;
    font->antialiased_ = request.antialiased;
    font->weight_ = request.weight;
    font->italic_ = request.italic;

    // GDI's height rule: a negative height is the em size in pixels, a
    // positive one the cell (ascent + descent), scaled by the face's own
    // ascent and descent (the OS/2 table's Windows values where present).
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double unitsAscent = os2 != nullptr ? os2->usWinAscent : face->ascender;
    const double unitsDescent = os2 != nullptr ? os2->usWinDescent : -face->descender;
    const double units = face->units_per_EM;
    int em = 0;
    if (request.height < 0) {
        em = -request.height;
    } else {
        const int cell = request.height == 0 ? 16 : request.height;
        em = std::max(1, static_cast<int>(std::lround(cell * units / (unitsAscent + unitsDescent))));
    }
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) {
        return nullptr;
    }
    font->em_ = em;
    font->ascent_ = static_cast<int>(std::lround(unitsAscent * em / units));
    font->descent_ = static_cast<int>(std::lround(unitsDescent * em / units));
    font->impl_->loadFlags = request.antialiased ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
    if ((request.weight >= 600) && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0) {
        // No bold face installed: the regular one is used as it is.
        font->weight_ = 400;
    }
    for (int c = 0; c < 256; ++c) {
        FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(c));
        int advance = 0;
        if (index != 0 && FT_Load_Glyph(face, index, font->impl_->loadFlags) == 0) {
            advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        }
        font->advances_[c] = advance;
        font->maxAdvance_ = std::max(font->maxAdvance_, advance);
    }
    return font;
}

int FontFace::advance(unsigned char c) {
    return advances_[c];
}

const Glyph& FontFace::render(unsigned char c) {
    glyph_ = Glyph{};
    glyph_.advance = advances_[c];
    FT_Face face = impl_->face;
    FT_UInt index = FT_Get_Char_Index(face, c);
    if (index == 0 || FT_Load_Glyph(face, index, impl_->loadFlags) != 0 ||
        FT_Render_Glyph(face->glyph, antialiased_ ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0) {
        return glyph_;
    }
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    glyph_.left = face->glyph->bitmap_left;
    glyph_.top = face->glyph->bitmap_top;
    glyph_.width = static_cast<int>(bitmap.width);
    glyph_.rows = static_cast<int>(bitmap.rows);
    impl_->coverage.assign(static_cast<std::size_t>(glyph_.width) * glyph_.rows, 0);
    for (int y = 0; y < glyph_.rows; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        for (int x = 0; x < glyph_.width; ++x) {
            std::uint8_t value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                value = ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0 ? 255 : 0;
            } else {
                value = row[x];
            }
            impl_->coverage[static_cast<std::size_t>(y) * glyph_.width + x] = value;
        }
    }
    glyph_.coverage = impl_->coverage.data();
    return glyph_;
}

} // namespace platform::gdi
