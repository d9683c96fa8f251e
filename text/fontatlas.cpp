#include "text/fontatlas.h"

#include "dx/dxdevice.h"
#include "platform/gdi/gdi.h"

#include <cstring>

namespace {

constexpr int kFontPoints = 36;
constexpr int kPointsPerInch = 72;
constexpr int kFirstCode = 32;
constexpr int kLastCode = 126;
constexpr UINT kQuadBufferBytes = text::kQuadBufferVertices * 28;

// Draws the characters into the bitmap and records their rectangles.
void layOut(HDC dc, text::GlyphRect* glyphs) {
    int x = 0;
    int y = 0;
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        const char c = static_cast<char>(code);
        SIZE extent{};
        GetTextExtentPoint32A(dc, &c, 1, &extent);
        if (x + extent.cx + 1 > text::kAtlasSize) {
            x = 0;
            y += extent.cy + 1;
        }
        ExtTextOutA(dc, x + 1, y, ETO_OPAQUE | ETO_CLIPPED, nullptr, &c, 1, nullptr);
        const float size = static_cast<float>(text::kAtlasSize);
        glyphs[code - kFirstCode] =
            text::GlyphRect{static_cast<float>(x) / size, static_cast<float>(y) / size,
                            static_cast<float>(x + extent.cx) / size, static_cast<float>(y + extent.cy) / size};
        x += extent.cx + 3;
    }
}

} // namespace

HRESULT fontAtlas::create() {
    textScale = 1.0f;
    IDirect3DDevice9* d3d = owner->d3dDevice;
    HRESULT hr = d3d->CreateTexture(text::kAtlasSize, text::kAtlasSize, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED,
                                    &texture, nullptr);
    if (hr != D3D_OK) {
        return hr;
    }

    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = text::kAtlasSize;
    info.bmiHeader.biHeight = -text::kAtlasSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);

    SetMapMode(dc, MM_TEXT);
    const int height = -MulDiv(
        kFontPoints, static_cast<int>(static_cast<float>(GetDeviceCaps(dc, LOGPIXELSY)) * textScale), kPointsPerInch);
    HFONT font = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, "Tahoma");
    if (font == nullptr || bitmap == nullptr || bits == nullptr) {
        DeleteDC(dc);
        DeleteObject(bitmap);
        DeleteObject(font);
        return E_FAIL;
    }

    SelectObject(dc, bitmap);
    SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextAlign(dc, TA_TOP | TA_LEFT);
    layOut(dc, glyphs);

    auto* pixels = static_cast<std::uint32_t*>(bits);
    D3DLOCKED_RECT locked{};
    hr = texture->LockRect(0, &locked, nullptr, 0);
    text::smudge(pixels);
    // Rows go where the lock's pitch puts them, which may exceed 1,024 bytes.
    if (hr == D3D_OK && locked.pBits != nullptr) {
        for (int row = 0; row < text::kAtlasSize; ++row) {
            auto* texels = reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                            static_cast<std::ptrdiff_t>(row) * locked.Pitch);
            for (int column = 0; column < text::kAtlasSize; ++column) {
                texels[column] = text::atlasTexel(
                    pixels[static_cast<std::size_t>(row) * text::kAtlasSize + static_cast<std::size_t>(column)]);
            }
        }
        texture->UnlockRect(0);
    }
    // The bitmap and the font cannot be deleted while a device context holds them.
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);

    return d3d->CreateVertexBuffer(kQuadBufferBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                   &quadBuffer, nullptr);
}
