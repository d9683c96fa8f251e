// Graphics device interface: memory device contexts, 32-bit DIB sections and
// text in TrueType faces, with the names, arguments and results of the
// platform calls. Faces are found through fontconfig and drawn by FreeType.
//
// The subset: memory DCs only (CreateCompatibleDC(NULL)), MM_TEXT mapping,
// 32-bit uncompressed DIB sections (top-down or bottom-up), 96 dots per inch,
// single-byte text (Latin-1). A call outside it logs a line and returns the
// platform's failure value.
#pragma once

#include "platform/kernel/windef.h"

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct TEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

inline constexpr DWORD BI_RGB = 0;
inline constexpr UINT DIB_RGB_COLORS = 0;

inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;

inline constexpr int MM_TEXT = 1;

inline constexpr int FW_DONTCARE = 0;
inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;
inline constexpr DWORD ANSI_CHARSET = 0;
inline constexpr DWORD DEFAULT_CHARSET = 1;
inline constexpr DWORD OUT_DEFAULT_PRECIS = 0;
inline constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
inline constexpr DWORD DEFAULT_QUALITY = 0;
inline constexpr DWORD NONANTIALIASED_QUALITY = 3;
inline constexpr DWORD ANTIALIASED_QUALITY = 4;
inline constexpr DWORD DEFAULT_PITCH = 0;
inline constexpr DWORD FIXED_PITCH = 1;
inline constexpr DWORD VARIABLE_PITCH = 2;

// Text alignment: horizontal TA_LEFT / TA_RIGHT / TA_CENTER, vertical TA_TOP /
// TA_BOTTOM / TA_BASELINE; the current position is not used.
inline constexpr UINT TA_NOUPDATECP = 0;
inline constexpr UINT TA_LEFT = 0;
inline constexpr UINT TA_TOP = 0;
inline constexpr UINT TA_RIGHT = 2;
inline constexpr UINT TA_CENTER = 6;
inline constexpr UINT TA_BOTTOM = 8;
inline constexpr UINT TA_BASELINE = 24;
inline constexpr UINT GDI_ERROR = 0xFFFFFFFF;

inline constexpr UINT ETO_OPAQUE = 0x0002;
inline constexpr UINT ETO_CLIPPED = 0x0004;

// Background modes: OPAQUE fills each character cell with the background
// colour before drawing; TRANSPARENT leaves it.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// 0x00BBGGRR, as the platform packs a colour reference.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// (number × numerator) / denominator with a 64-bit product, rounded half away
// from zero; -1 when denominator is 0.
int MulDiv(int number, int numerator, int denominator);

// A memory DC with a 1 × 1 placeholder bitmap, the system font, black text on
// white, TA_TOP | TA_LEFT, OPAQUE. `like` must be null.
HDC CreateCompatibleDC(HDC like);
BOOL DeleteDC(HDC dc);
// LOGPIXELSX and LOGPIXELSY: 96. Other indices: 0.
int GetDeviceCaps(HDC dc, int index);
// MM_TEXT only; returns the previous mode (MM_TEXT), 0 for any other mode.
int SetMapMode(HDC dc, int mode);

// A 32-bit BI_RGB section of biWidth × |biHeight| (negative height: row 0 on
// top), zero-filled; *bits receives its pixels (0x00RRGGBB words, rows packed).
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);

// A font of the face found by fontconfig. Height < 0: character height (em
// size) in pixels; > 0: cell height (ascent + descent); 0: 16 pixels. Width
// other than 0, escapement and orientation are refused. A face that is not
// installed is replaced by the closest installed one: "Tahoma" by "Liberation
// Sans" (then "DejaVu Sans"), anything else by fontconfig's best match.
// ANTIALIASED_QUALITY and DEFAULT_QUALITY draw grey levels,
// NONANTIALIASED_QUALITY black and white.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR faceName);
// The family name of the face that a font draws with (for logs and tests).
const char* fontFamilyName(HFONT font);

// Selects a bitmap or a font into the DC and returns the one it replaces
// (null on failure). A bitmap can be selected into one DC at a time.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Frees a bitmap or a font; refuses (FALSE) one that is selected into a DC.
BOOL DeleteObject(HGDIOBJ object);

COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);
UINT SetTextAlign(HDC dc, UINT align);

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// Advance width of the text (sum of the glyph advances, with kerning off) and
// the font's cell height.
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size);
// Draws text with its reference point at (x, y) as the alignment says.
// ETO_OPAQUE fills `rect` with the background colour first; ETO_CLIPPED keeps
// drawing inside `rect`; without a rect both are ignored. In OPAQUE
// background mode the text's cell box is filled as well. Glyph
// coverage blends the text colour over the pixel in each of the three colour
// bytes; the top byte is left as it was. `dx`, when given, holds the advance
// of each character.
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx);
