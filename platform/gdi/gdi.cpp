// Ownership: every DC, bitmap and font is a heap object listed in one table
// by kind; a handle is the object's address, checked against the table on
// every call, so a stale or foreign handle fails instead of being followed.
// A bitmap belongs to at most one DC at a time; a font may be selected into
// many. All calls take one lock: the layer is used from the main thread, the
// lock only keeps a stray call from another thread from tearing the tables.
#include "platform/gdi/gdi.h"

#include "platform/gdi/fontface.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/refusal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using platform::gdi::FontFace;

struct Bitmap {
    int width = 0;
    int height = 0;
    bool topDown = true;
    std::uint32_t* pixels = nullptr;
    void* owner = nullptr; // the DC it is selected into
    ~Bitmap() { std::free(pixels); }
    std::uint32_t* at(int x, int y) const {
        const int row = topDown ? y : height - 1 - y;
        return pixels + static_cast<std::size_t>(row) * width + x;
    }
};

struct Font {
    std::unique_ptr<FontFace> face;
    int selections = 0;
};

struct Dc {
    Bitmap placeholder; // the 1 × 1 bitmap a new memory DC starts with
    Bitmap* bitmap = nullptr;
    Font* font = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT align = TA_TOP | TA_LEFT;
};

enum class Kind { dc, bitmap, font };

std::recursive_mutex tableLock;
std::unordered_map<const void*, Kind> table;

void fail(const char* call, const char* why) {
    platform::kernel::logRefusal("gdi", "%s refused: %s", call, why);
}

template <typename T> T* lookup(const void* handle, Kind kind) {
    auto it = table.find(handle);
    if (handle == nullptr || it == table.end() || it->second != kind) {
        return nullptr;
    }
    return static_cast<T*>(const_cast<void*>(handle));
}

Dc* dcOf(HDC dc, const char* call) {
    Dc* d = lookup<Dc>(dc, Kind::dc);
    if (d == nullptr) {
        fail(call, "not a device context of this layer");
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return d;
}

// The stock font a new DC starts with (the platform's system font stands in
// as a 16-pixel sans face). Never deleted.
Font* stockFont() {
    static Font* font = [] {
        auto* f = new Font;
        platform::gdi::FaceRequest request;
        request.faceName = "sans-serif";
        request.height = 16;
        f->face = FontFace::open(request);
        table[f] = Kind::font;
        return f;
    }();
    return font;
}

std::uint8_t red(COLORREF c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}
std::uint8_t green(COLORREF c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
std::uint8_t blue(COLORREF c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

// A DIB pixel is 0x00RRGGBB in memory order B, G, R, reserved.
std::uint32_t dibPixel(COLORREF c) {
    return (static_cast<std::uint32_t>(red(c)) << 16) | (static_cast<std::uint32_t>(green(c)) << 8) | blue(c);
}

struct Clip {
    int left, top, right, bottom;
};

Clip intersect(Clip a, const RECT& r) {
    return {std::max(a.left, static_cast<int>(r.left)), std::max(a.top, static_cast<int>(r.top)),
            std::min(a.right, static_cast<int>(r.right)), std::min(a.bottom, static_cast<int>(r.bottom))};
}

void fill(const Bitmap& bitmap, Clip clip, Clip box, COLORREF color) {
    const Clip c{std::max(clip.left, box.left), std::max(clip.top, box.top), std::min(clip.right, box.right),
                 std::min(clip.bottom, box.bottom)};
    const std::uint32_t value = dibPixel(color);
    for (int y = c.top; y < c.bottom; ++y) {
        for (int x = c.left; x < c.right; ++x) {
            std::uint32_t* p = bitmap.at(x, y);
            *p = (*p & 0xFF000000u) | value;
        }
    }
}

std::uint32_t blend(std::uint32_t pixel, COLORREF color, unsigned coverage) {
    auto mix = [coverage](unsigned dst, unsigned src) { return (src * coverage + dst * (255 - coverage) + 127) / 255; };
    const unsigned r = mix((pixel >> 16) & 0xFF, red(color));
    const unsigned g = mix((pixel >> 8) & 0xFF, green(color));
    const unsigned b = mix(pixel & 0xFF, blue(color));
    return (pixel & 0xFF000000u) | (r << 16) | (g << 8) | b;
}

int textWidth(FontFace& face, LPCSTR text, int count, const INT* dx) {
    int width = 0;
    for (int i = 0; i < count; ++i) {
        width += dx != nullptr ? dx[i] : face.advance(static_cast<unsigned char>(text[i]));
    }
    return width;
}

} // namespace

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return -1;
    }
    const long long product = static_cast<long long>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const long long p = product < 0 ? -product : product;
    const long long d = denominator < 0 ? -static_cast<long long>(denominator) : denominator;
    const long long q = (p + d / 2) / d;
    const long long result = negative ? -q : q;
    if (result > 0x7FFFFFFFLL || result < -0x7FFFFFFFLL - 1) {
        return -1;
    }
    return static_cast<int>(result);
}

HDC CreateCompatibleDC(HDC like) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    if (like != nullptr) {
        fail("CreateCompatibleDC", "only memory DCs compatible with the screen (null) are made");
        return nullptr;
    }
    auto* dc = new Dc;
    dc->placeholder.width = 1;
    dc->placeholder.height = 1;
    dc->placeholder.pixels = static_cast<std::uint32_t*>(std::calloc(1, sizeof(std::uint32_t)));
    dc->placeholder.owner = dc;
    dc->bitmap = &dc->placeholder;
    dc->font = stockFont();
    dc->font->selections++;
    table[dc] = Kind::dc;
    return reinterpret_cast<HDC>(dc);
}

BOOL DeleteDC(HDC handle) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "DeleteDC");
    if (dc == nullptr) {
        return FALSE;
    }
    if (dc->bitmap != &dc->placeholder) {
        dc->bitmap->owner = nullptr;
    }
    dc->font->selections--;
    table.erase(dc);
    delete dc;
    return TRUE;
}

int GetDeviceCaps(HDC handle, int index) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    if (dcOf(handle, "GetDeviceCaps") == nullptr) {
        return 0;
    }
    return index == LOGPIXELSX || index == LOGPIXELSY ? 96 : 0;
}

int SetMapMode(HDC handle, int mode) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    if (dcOf(handle, "SetMapMode") == nullptr) {
        return 0;
    }
    if (mode != MM_TEXT) {
        fail("SetMapMode", "only MM_TEXT");
        return 0;
    }
    return MM_TEXT;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    if (bits != nullptr) {
        *bits = nullptr;
    }
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr || offset != 0) {
        fail("CreateDIBSection", "needs a header, DIB_RGB_COLORS and no file section");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biBitCount != 32 || h.biCompression != BI_RGB ||
        h.biWidth <= 0 || height == 0 || h.biWidth > 16384 || height > 16384) {
        fail("CreateDIBSection", "only 32-bit BI_RGB sections up to 16384 pixels a side");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* bitmap = new Bitmap;
    bitmap->width = h.biWidth;
    bitmap->height = static_cast<int>(height);
    bitmap->topDown = h.biHeight < 0;
    bitmap->pixels = static_cast<std::uint32_t*>(
        std::calloc(static_cast<std::size_t>(bitmap->width) * bitmap->height, sizeof(std::uint32_t)));
    if (bitmap->pixels == nullptr) {
        delete bitmap;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    table[bitmap] = Kind::bitmap;
    if (bits != nullptr) {
        *bits = bitmap->pixels;
    }
    return reinterpret_cast<HBITMAP>(bitmap);
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD, DWORD, DWORD, DWORD quality, DWORD, LPCSTR faceName) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    if (width != 0 || escapement != 0 || orientation != 0 || underline != 0 || strikeOut != 0) {
        fail("CreateFontA", "width, escapement, orientation, underline and strike-out must be 0");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    platform::gdi::FaceRequest request;
    request.faceName = faceName != nullptr ? faceName : "";
    request.height = height;
    request.weight = weight == FW_DONTCARE ? FW_NORMAL : weight;
    request.italic = italic != 0;
    request.antialiased = quality != NONANTIALIASED_QUALITY;
    auto face = FontFace::open(request);
    if (!face) {
        fail("CreateFontA", "no face could be opened");
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto* font = new Font;
    font->face = std::move(face);
    table[font] = Kind::font;
    return reinterpret_cast<HFONT>(font);
}

const char* fontFamilyName(HFONT handle) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Font* font = lookup<Font>(handle, Kind::font);
    return font != nullptr && font->face ? font->face->family().c_str() : "";
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "SelectObject");
    if (dc == nullptr) {
        return nullptr;
    }
    if (Bitmap* bitmap = lookup<Bitmap>(object, Kind::bitmap)) {
        if (bitmap->owner != nullptr && bitmap->owner != dc) {
            fail("SelectObject", "the bitmap is selected into another DC");
            return nullptr;
        }
        Bitmap* old = dc->bitmap;
        if (old != &dc->placeholder) {
            old->owner = nullptr;
        }
        bitmap->owner = dc;
        dc->bitmap = bitmap;
        // The placeholder has no handle of its own outside its DC; it is
        // handed out so that selecting it back works as the platform allows.
        return old == &dc->placeholder ? static_cast<HGDIOBJ>(&dc->placeholder) : old;
    }
    if (object == &dc->placeholder) {
        if (dc->bitmap != &dc->placeholder) {
            dc->bitmap->owner = nullptr;
        }
        Bitmap* old = dc->bitmap;
        dc->bitmap = &dc->placeholder;
        return old;
    }
    if (Font* font = lookup<Font>(object, Kind::font)) {
        Font* old = dc->font;
        old->selections--;
        font->selections++;
        dc->font = font;
        return old;
    }
    fail("SelectObject", "not a bitmap or font of this layer");
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ object) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    if (Bitmap* bitmap = lookup<Bitmap>(object, Kind::bitmap)) {
        if (bitmap->owner != nullptr) {
            fail("DeleteObject", "the bitmap is still selected into a DC");
            return FALSE;
        }
        table.erase(bitmap);
        delete bitmap;
        return TRUE;
    }
    if (Font* font = lookup<Font>(object, Kind::font)) {
        if (font == stockFont()) {
            return TRUE; // stock objects ignore deletion, as on the platform
        }
        if (font->selections > 0) {
            fail("DeleteObject", "the font is still selected into a DC");
            return FALSE;
        }
        table.erase(font);
        delete font;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

namespace {

// Sets one of a DC's colours and returns the one it had. A COLORREF is
// 0x00BBGGRR: the top byte is not part of the colour.
COLORREF exchangeColor(HDC handle, const char* call, COLORREF Dc::*colour, COLORREF color) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, call);
    if (dc == nullptr) {
        return CLR_INVALID;
    }
    return std::exchange(dc->*colour, color & 0x00FFFFFFu);
}

} // namespace

COLORREF SetTextColor(HDC handle, COLORREF color) {
    return exchangeColor(handle, "SetTextColor", &Dc::textColor, color);
}

COLORREF SetBkColor(HDC handle, COLORREF color) {
    return exchangeColor(handle, "SetBkColor", &Dc::bkColor, color);
}

int SetBkMode(HDC handle, int mode) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "SetBkMode");
    if (dc == nullptr || (mode != OPAQUE && mode != TRANSPARENT)) {
        return 0;
    }
    return std::exchange(dc->bkMode, mode);
}

UINT SetTextAlign(HDC handle, UINT align) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "SetTextAlign");
    if (dc == nullptr) {
        return GDI_ERROR;
    }
    if ((align & ~(TA_CENTER | TA_BASELINE)) != 0) {
        fail("SetTextAlign", "only left/right/centre and top/bottom/baseline");
        return GDI_ERROR;
    }
    return std::exchange(dc->align, align);
}

BOOL GetTextMetricsA(HDC handle, TEXTMETRICA* metrics) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "GetTextMetricsA");
    if (dc == nullptr || metrics == nullptr || !dc->font->face) {
        return FALSE;
    }
    FontFace& face = *dc->font->face;
    *metrics = TEXTMETRICA{};
    metrics->tmAscent = face.ascent();
    metrics->tmDescent = face.descent();
    metrics->tmHeight = face.ascent() + face.descent();
    metrics->tmInternalLeading = metrics->tmHeight - face.emPixels();
    // The advance of the letter x stands in for the face's average width.
    metrics->tmAveCharWidth = face.advance('x');
    metrics->tmMaxCharWidth = face.maxAdvance();
    metrics->tmWeight = face.weight();
    metrics->tmDigitizedAspectX = 96;
    metrics->tmDigitizedAspectY = 96;
    metrics->tmFirstChar = 32;
    metrics->tmLastChar = 255;
    metrics->tmDefaultChar = '?';
    metrics->tmBreakChar = ' ';
    metrics->tmItalic = face.italic() ? 1 : 0;
    metrics->tmPitchAndFamily = 0x06; // variable pitch, TrueType
    metrics->tmCharSet = ANSI_CHARSET;
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC handle, LPCSTR text, int count, SIZE* size) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "GetTextExtentPoint32A");
    if (dc == nullptr || size == nullptr || count < 0 || (text == nullptr && count > 0) || !dc->font->face) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FontFace& face = *dc->font->face;
    size->cx = textWidth(face, text, count, nullptr);
    size->cy = face.ascent() + face.descent();
    return TRUE;
}

BOOL ExtTextOutA(HDC handle, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx) {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    Dc* dc = dcOf(handle, "ExtTextOutA");
    if (dc == nullptr || (text == nullptr && count > 0) || count > 8192 || !dc->font->face) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((options & ~(ETO_OPAQUE | ETO_CLIPPED)) != 0) {
        fail("ExtTextOutA", "only ETO_OPAQUE and ETO_CLIPPED");
        return FALSE;
    }
    FontFace& face = *dc->font->face;
    const Bitmap& bitmap = *dc->bitmap;
    const int n = static_cast<int>(count);
    const int width = textWidth(face, text, n, dx);

    int left = x;
    if ((dc->align & TA_CENTER) == TA_CENTER) {
        left = x - width / 2;
    } else if ((dc->align & TA_RIGHT) != 0) {
        left = x - width;
    }
    int baseline = y + face.ascent();
    if ((dc->align & TA_BASELINE) == TA_BASELINE) {
        baseline = y;
    } else if ((dc->align & TA_BOTTOM) != 0) {
        baseline = y - face.descent();
    }

    Clip clip{0, 0, bitmap.width, bitmap.height};
    // Without a rectangle the platform ignores both options.
    if (rect != nullptr && (options & ETO_OPAQUE) != 0) {
        fill(bitmap, clip,
             {static_cast<int>(rect->left), static_cast<int>(rect->top), static_cast<int>(rect->right),
              static_cast<int>(rect->bottom)},
             dc->bkColor);
    }
    if (rect != nullptr && (options & ETO_CLIPPED) != 0) {
        clip = intersect(clip, *rect);
    }
    if (dc->bkMode == OPAQUE) {
        fill(bitmap, clip, {left, baseline - face.ascent(), left + width, baseline + face.descent()}, dc->bkColor);
    }

    int pen = left;
    for (int i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const platform::gdi::Glyph& glyph = face.render(c);
        const int originX = pen + glyph.left;
        const int originY = baseline - glyph.top;
        for (int gy = 0; gy < glyph.rows; ++gy) {
            const int py = originY + gy;
            if (py < clip.top || py >= clip.bottom) {
                continue;
            }
            for (int gx = 0; gx < glyph.width; ++gx) {
                const int px = originX + gx;
                const unsigned coverage = glyph.coverage[static_cast<std::size_t>(gy) * glyph.width + gx];
                if (px < clip.left || px >= clip.right || coverage == 0) {
                    continue;
                }
                std::uint32_t* p = bitmap.at(px, py);
                *p = blend(*p, dc->textColor, coverage);
            }
        }
        pen += dx != nullptr ? dx[i] : glyph.advance;
    }
    return TRUE;
}
