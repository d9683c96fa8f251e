// Draws the texts the show draws through the GDI layer (the setup dialog's
// faces, the font atlas's 36 points at 96 dots per inch) and prints the
// pixels (printrows.h): built for the desktop and for the browser, the
// two outputs must be the same text.
#include "platform/gdi/gdi.h"
#include "tests/web/printrows.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 120;

struct Sample {
    int height;
    int weight;
    DWORD quality;
    int y;
    const char* text;
};

constexpr Sample kSamples[] = {
    {-11, FW_NORMAL, DEFAULT_QUALITY, 2, "Display mode: 640 x 480, 32 bit   OK   Cancel"},
    {-11, FW_BOLD, DEFAULT_QUALITY, 18, "RIZA3V setup - Windowed, 4:3"},
    {-48, FW_NORMAL, ANTIALIASED_QUALITY, 36, "Wavy 0123 g_j!"},
    {-13, FW_NORMAL, NONANTIALIASED_QUALITY, 96, "Mono text at 13 pixels: iiii mmmm"},
};

} // namespace

int main() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr) {
        std::fprintf(stderr, "no memory DC or DIB section\n");
        return 1;
    }
    SelectObject(dc, bitmap);
    SetBkColor(dc, RGB(16, 32, 64));
    SetTextColor(dc, RGB(255, 224, 96));
    for (const Sample& s : kSamples) {
        HFONT font = CreateFontA(s.height, 0, 0, 0, s.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, s.quality, VARIABLE_PITCH, "Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        RECT band{0, s.y, kWidth, s.y + 1 - s.height};
        ExtTextOutA(dc, 2, s.y, ETO_OPAQUE, &band, s.text, static_cast<UINT>(std::strlen(s.text)), nullptr);
        std::printf("%s %d: %s\n", fontFamilyName(font), s.height, s.text);
        SelectObject(dc, old);
        DeleteObject(font);
    }
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    printRows(pixels, kWidth, kHeight);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return 0;
}
