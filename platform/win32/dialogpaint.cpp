// Drawing of dialogs in the classic grey style, and the mouse, which needs
// the same geometry. Shapes are drawn straight into a 32-bit DIB section;
// text goes through the GDI layer into the same section.
#include "platform/gdi/gdi.h"
#include "platform/win32/userstate.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace platform::win32::user;

namespace {

// The classic scheme's system colours (0x00RRGGBB).
constexpr std::uint32_t kFace = 0xD4D0C8;
constexpr std::uint32_t kHighlight = 0xFFFFFF;
constexpr std::uint32_t kShadow = 0x808080;
constexpr std::uint32_t kDarkShadow = 0x404040;
constexpr std::uint32_t kFrame = 0x000000;
constexpr std::uint32_t kWindow = 0xFFFFFF;
constexpr std::uint32_t kSelection = 0x0A246A;
constexpr std::uint32_t kCaptionLeft = 0x0A246A;
constexpr std::uint32_t kCaptionRight = 0xA6CAF0;
constexpr int kScrollBarWidth = 16;
constexpr int kCheckBoxSize = 13;

COLORREF colorRef(std::uint32_t rgb) {
    return RGB(static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb));
}

struct Canvas {
    int width;
    int height;
    std::uint32_t* pixels;
    HDC dc;

    void put(int x, int y, std::uint32_t c) const {
        if (x >= 0 && y >= 0 && x < width && y < height) {
            pixels[static_cast<std::size_t>(y) * width + x] = c;
        }
    }
    void fill(RECT r, std::uint32_t c) const {
        for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, height); ++y) {
            for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, width); ++x) {
                pixels[static_cast<std::size_t>(y) * width + x] = c;
            }
        }
    }
    // A one-pixel ring: top and left in one colour, bottom and right in another.
    void ring(RECT r, std::uint32_t topLeft, std::uint32_t bottomRight) const {
        for (int x = r.left; x < r.right; ++x) {
            put(x, r.top, topLeft);
            put(x, r.bottom - 1, bottomRight);
        }
        for (int y = r.top; y < r.bottom; ++y) {
            put(r.left, y, topLeft);
            put(r.right - 1, y, bottomRight);
        }
        put(r.right - 1, r.top, bottomRight);
        put(r.left, r.bottom - 1, bottomRight);
    }
    void raised(RECT r) const {
        ring(r, kHighlight, kDarkShadow);
        ring(deflate(r, 1), kFace, kShadow);
    }
    void sunken(RECT r) const {
        ring(r, kShadow, kHighlight);
        ring(deflate(r, 1), kDarkShadow, kFace);
    }
    void dotted(RECT r) const {
        for (int x = r.left; x < r.right; x += 2) {
            put(x, r.top, 0);
            put(x, r.bottom - 1, 0);
        }
        for (int y = r.top; y < r.bottom; y += 2) {
            put(r.left, y, 0);
            put(r.right - 1, y, 0);
        }
    }
    static RECT deflate(RECT r, int n) { return RECT{r.left + n, r.top + n, r.right - n, r.bottom - n}; }

    void text(HFONT font, int x, int y, const std::string& s, std::uint32_t color, RECT clip) const {
        SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_TOP | TA_LEFT);
        SetTextColor(dc, colorRef(color));
        ExtTextOutA(dc, x, y, ETO_CLIPPED, &clip, s.data(), static_cast<UINT>(s.size()), nullptr);
    }
    // Disabled text is embossed: white one pixel down-right, grey on top.
    void textState(HFONT font, int x, int y, const std::string& s, bool enabled, RECT clip) const {
        if (enabled) {
            text(font, x, y, s, 0x000000, clip);
        } else {
            text(font, x + 1, y + 1, s, kHighlight, clip);
            text(font, x, y, s, kShadow, clip);
        }
    }
    int measure(HFONT font, const std::string& s) const {
        SelectObject(dc, font);
        SIZE size{};
        GetTextExtentPoint32A(dc, s.data(), static_cast<int>(s.size()), &size);
        return size.cx;
    }
    void icon(const IconImage& image, int x0, int y0) const {
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const std::uint32_t p = image.pixels[static_cast<std::size_t>(y) * image.width + x];
                const unsigned a = p >> 24;
                if (a == 0 || x0 + x < 0 || y0 + y < 0 || x0 + x >= width || y0 + y >= height) {
                    continue;
                }
                std::uint32_t& d = pixels[static_cast<std::size_t>(y0 + y) * width + x0 + x];
                auto mix = [a](unsigned dst, unsigned src) { return (src * a + dst * (255 - a) + 127) / 255; };
                d = (mix((d >> 16) & 0xFF, (p >> 16) & 0xFF) << 16) | (mix((d >> 8) & 0xFF, (p >> 8) & 0xFF) << 8) |
                    mix(d & 0xFF, p & 0xFF);
            }
        }
    }
};

RECT offset(RECT r, int dx, int dy) {
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool bordered(const Window& c) {
    return (c.style & WS_BORDER) != 0 || (c.exStyle & WS_EX_CLIENTEDGE) != 0;
}

// Word-wrapped lines of a static text; "\n" breaks a line.
std::vector<std::string> wrap(const Canvas& canvas, HFONT font, const std::string& text, int width) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string paragraph = text.substr(start, end - start);
        while (!paragraph.empty() && paragraph.back() == '\r') {
            paragraph.pop_back();
        }
        std::string line;
        std::size_t i = 0;
        while (i < paragraph.size()) {
            std::size_t wordEnd = paragraph.find(' ', i);
            if (wordEnd == std::string::npos) {
                wordEnd = paragraph.size();
            }
            const std::string word = paragraph.substr(i, wordEnd - i);
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && canvas.measure(font, candidate) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            i = wordEnd;
            // Runs of blanks inside a line are kept as written: all but the
            // one that joins the next word go with the line.
            while (i + 1 < paragraph.size() && paragraph[i] == ' ' && paragraph[i + 1] == ' ') {
                line += ' ';
                ++i;
            }
            if (i < paragraph.size()) {
                ++i;
            }
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

struct ListGeometry {
    RECT inner;
    bool scrollBar;
    RECT bar;
    int rowHeight;
    int fullRows;
};

ListGeometry listGeometry(const Window& list, const Dialog& d) {
    ListGeometry g{};
    g.inner = bordered(list) ? Canvas::deflate(list.rect, 2) : list.rect;
    g.rowHeight = std::max(1, d.lineHeight);
    g.fullRows = std::max(1, static_cast<int>((g.inner.bottom - g.inner.top) / g.rowHeight));
    g.scrollBar = (list.style & WS_VSCROLL) != 0 && static_cast<int>(list.rows.size()) > g.fullRows;
    if (g.scrollBar) {
        g.bar = RECT{g.inner.right - kScrollBarWidth, g.inner.top, g.inner.right, g.inner.bottom};
        g.inner.right -= kScrollBarWidth;
    }
    return g;
}

void arrow(const Canvas& c, RECT r, bool up, bool enabled) {
    const int cx = (r.left + r.right) / 2;
    const int cy = (r.top + r.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        const int y = up ? cy - 2 + i : cy + 1 - i;
        for (int x = cx - i; x <= cx + i; ++x) {
            c.put(x, y, enabled ? 0x000000 : kShadow);
        }
    }
}

void paintScrollBar(const Canvas& c, const Window& list, const ListGeometry& g) {
    const RECT bar = g.bar;
    const int arrowHeight = std::min(16, static_cast<int>((bar.bottom - bar.top) / 2));
    const RECT up{bar.left, bar.top, bar.right, bar.top + arrowHeight};
    const RECT down{bar.left, bar.bottom - arrowHeight, bar.right, bar.bottom};
    // The track is the classic half-tone of highlight and face.
    for (int y = up.bottom; y < down.top; ++y) {
        for (int x = bar.left; x < bar.right; ++x) {
            c.put(x, y, ((x + y) & 1) != 0 ? kHighlight : kFace);
        }
    }
    for (const RECT& b : {up, down}) {
        c.fill(b, kFace);
        c.raised(b);
    }
    arrow(c, up, true, list.enabled);
    arrow(c, down, false, list.enabled);
    const int track = static_cast<int>(down.top - up.bottom);
    const int count = static_cast<int>(list.rows.size());
    const int thumb = std::max(8, track * g.fullRows / std::max(1, count));
    const int range = std::max(1, count - g.fullRows);
    const int top = static_cast<int>(up.bottom) + (track - thumb) * list.topRow / range;
    const RECT t{bar.left, top, bar.right, top + thumb};
    c.fill(t, kFace);
    c.raised(t);
}

void paintControl(const Canvas& c, const Window& w, const Dialog& d, int ox, int oy) {
    const RECT r = offset(w.rect, ox, oy);
    const bool focused = d.focus == w.handle;
    switch (w.kind) {
    case ControlKind::pushButton: {
        const bool flat = (w.style & BS_FLAT) != 0;
        const bool isDefault = (w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        RECT face = r;
        c.fill(r, kFace);
        if (isDefault) {
            c.ring(face, kFrame, kFrame);
            face = Canvas::deflate(face, 1);
        }
        if (flat || w.pressed) {
            c.ring(face, flat ? kFrame : kShadow, flat ? kFrame : kShadow);
        } else {
            c.raised(face);
        }
        const int shift = w.pressed ? 1 : 0;
        const int tw = c.measure(d.font, w.text);
        const int tx = (r.left + r.right - tw) / 2 + shift;
        const int ty = (r.top + r.bottom - d.lineHeight) / 2 + shift;
        c.textState(d.font, tx, ty, w.text, w.enabled, Canvas::deflate(face, 2));
        if (focused) {
            c.dotted(Canvas::deflate(face, 3));
        }
        break;
    }
    case ControlKind::checkBox: {
        const int by = (r.top + r.bottom - kCheckBoxSize) / 2;
        const RECT box{r.left, by, r.left + kCheckBoxSize, by + kCheckBoxSize};
        c.fill(box, w.enabled ? kWindow : kFace);
        if ((w.style & BS_FLAT) != 0) {
            c.ring(box, kFrame, kFrame);
        } else {
            c.sunken(box);
        }
        if (w.checked) {
            // The classic 7 × 7 tick, three pixels thick.
            const int x0 = box.left + 3;
            const int y0 = box.top + 5;
            for (int i = 0; i < 7; ++i) {
                const int dy = i < 3 ? i : 4 - i;
                for (int t = 0; t < 3; ++t) {
                    c.put(x0 + i, y0 + dy + t, w.enabled ? 0x000000 : kShadow);
                }
            }
        }
        const int tx = r.left + kCheckBoxSize + 4;
        const int ty = (r.top + r.bottom - d.lineHeight) / 2;
        c.textState(d.font, tx, ty, w.text, w.enabled, r);
        if (focused) {
            const int tw = c.measure(d.font, w.text);
            c.dotted(RECT{tx - 1, ty, std::min<int>(tx + tw + 1, r.right), ty + d.lineHeight});
        }
        break;
    }
    case ControlKind::staticText: {
        int y = r.top;
        for (const std::string& line : wrap(c, d.font, w.text, r.right - r.left)) {
            c.textState(d.font, r.left, y, line, w.enabled, r);
            y += d.lineHeight;
        }
        break;
    }
    case ControlKind::staticIcon:
        if (w.iconImage != nullptr) {
            c.icon(*w.iconImage, r.left, r.top);
        }
        break;
    case ControlKind::edit: {
        RECT inner = r;
        const bool readOnly = (w.style & ES_READONLY) != 0;
        c.fill(r, readOnly || !w.enabled ? kFace : kWindow);
        if (bordered(w)) {
            c.sunken(r);
            inner = Canvas::deflate(r, 2);
        }
        const std::size_t first = std::min<std::size_t>(static_cast<std::size_t>(w.editScroll), w.text.size());
        const std::string shown = w.text.substr(first);
        const int tx = inner.left + 1;
        c.textState(d.font, tx, inner.top + 1, shown, w.enabled, inner);
        if (focused) {
            const int caret =
                static_cast<int>(std::max<std::size_t>(static_cast<std::size_t>(w.editCaret), first) - first);
            const int cx = tx + c.measure(d.font, shown.substr(0, static_cast<std::size_t>(caret)));
            for (int y = inner.top + 1; y < std::min<int>(inner.top + 1 + d.lineHeight, inner.bottom); ++y) {
                c.put(cx, y, 0x000000);
            }
        }
        break;
    }
    case ControlKind::listBox: {
        const ListGeometry g = listGeometry(w, d);
        c.fill(r, w.enabled ? kWindow : kFace);
        if (bordered(w)) {
            c.sunken(r);
        }
        const RECT inner = offset(g.inner, ox, oy);
        int y = inner.top;
        for (int row = w.topRow; row < static_cast<int>(w.rows.size()) && y < inner.bottom; ++row) {
            const RECT line{inner.left, y, inner.right, std::min<int>(y + g.rowHeight, inner.bottom)};
            const bool selected = row == w.selected;
            if (selected) {
                c.fill(line, kSelection);
            }
            c.text(d.font, inner.left + 2, y, w.rows[static_cast<std::size_t>(row)],
                   selected ? kHighlight : (w.enabled ? 0x000000 : kShadow), line);
            if (focused && (row == w.selected || (w.selected < 0 && row == w.topRow))) {
                c.dotted(RECT{line.left, line.top, line.right, y + g.rowHeight});
            }
            y += g.rowHeight;
        }
        if (g.scrollBar) {
            paintScrollBar(c, w, ListGeometry{g.inner, true, offset(g.bar, ox, oy), g.rowHeight, g.fullRows});
        }
        break;
    }
    case ControlKind::none:
        break;
    }
}

RECT closeBox(const Dialog& d, int windowWidth) {
    const int right = windowWidth - d.frame - 2;
    const int top = d.frame + 2;
    return RECT{right - 16, top, right, top + 14};
}

void paintFrame(const Canvas& c, const Window& dw, const Dialog& d) {
    const RECT all{0, 0, c.width, c.height};
    c.fill(all, kFace);
    c.ring(all, kFace, kDarkShadow);
    c.ring(Canvas::deflate(all, 1), kHighlight, kShadow);
    if (d.caption > 0) {
        const int left = d.frame;
        const int right = c.width - d.frame;
        const int top = d.frame;
        const int bottom = d.frame + d.caption - 1; // one row of face below the bar
        for (int x = left; x < right; ++x) {
            const int t = right - left > 1 ? (x - left) * 255 / (right - left - 1) : 0;
            auto lerp = [t](unsigned a, unsigned b) {
                return (a * static_cast<unsigned>(255 - t) + b * static_cast<unsigned>(t)) / 255;
            };
            const std::uint32_t col = (lerp((kCaptionLeft >> 16) & 0xFF, (kCaptionRight >> 16) & 0xFF) << 16) |
                                      (lerp((kCaptionLeft >> 8) & 0xFF, (kCaptionRight >> 8) & 0xFF) << 8) |
                                      lerp(kCaptionLeft & 0xFF, kCaptionRight & 0xFF);
            for (int y = top; y < bottom; ++y) {
                c.put(x, y, col);
            }
        }
        const bool closable = (dw.style & WS_SYSMENU) != 0;
        const RECT box = closeBox(d, c.width);
        const RECT titleClip{left + 2, top, closable ? box.left - 2 : right - 2, bottom};
        c.text(d.captionFont, left + 4, top + (bottom - top - d.lineHeight) / 2, dw.text, kHighlight, titleClip);
        if (!closable) {
            return;
        }
        c.fill(box, kFace);
        c.raised(box);
        // The close glyph: two crossing strokes, two pixels wide.
        const int gx = box.left + 4;
        const int gy = box.top + 3;
        for (int i = 0; i < 7; ++i) {
            for (int t = 0; t < 2; ++t) {
                c.put(gx + i + t, gy + i, 0x000000);
                c.put(gx + 6 - i + t, gy + i, 0x000000);
            }
        }
    }
}

void paintClientEdge(const Canvas& c, const Dialog& d) {
    if (d.edge > 0) {
        const int top = d.frame + d.caption;
        c.sunken(RECT{d.frame, top, c.width - d.frame, c.height - d.frame});
    }
}

HWND captured = nullptr;
bool closePressed = false;

} // namespace

namespace platform::win32::user {

int visibleRows(const Window& list, const Dialog& d) {
    return listGeometry(list, d).fullRows;
}

void dialogMouse(HWND dialog, int x, int y, bool down) {
    Window* dw = find(dialog);
    if (dw == nullptr || !dw->dialog || !dw->enabled) {
        return;
    }
    Dialog& d = *dw->dialog;
    const int width = dialogWindowWidth(d);
    const RECT box = closeBox(d, width);
    const bool inBox = d.caption > 0 && (dw->style & WS_SYSMENU) != 0 && x >= box.left && x < box.right &&
                       y >= box.top && y < box.bottom;
    const int cx = x - d.frame - d.edge;
    const int cy = y - d.frame - d.caption - d.edge;
    auto inside = [cx, cy](const RECT& r) { return cx >= r.left && cx < r.right && cy >= r.top && cy < r.bottom; };
    if (!down) {
        if (closePressed && inBox) {
            closePressed = false;
            dialogClose(dialog);
            return;
        }
        closePressed = false;
        Window* c = find(captured);
        captured = nullptr;
        if (c != nullptr && c->pressed) {
            c->pressed = false;
            d.dirty = true;
            if (inside(c->rect)) {
                dialogClickControl(dialog, c->handle);
            }
        }
        return;
    }
    if (inBox) {
        closePressed = true;
        return;
    }
    for (HWND h : d.controls) {
        Window* c = find(h);
        if (c == nullptr || !c->visible || !inside(c->rect)) {
            continue;
        }
        if (!c->enabled) {
            return;
        }
        switch (c->kind) {
        case ControlKind::pushButton:
        case ControlKind::checkBox:
            c->pressed = true;
            captured = h;
            d.dirty = true;
            return;
        case ControlKind::edit:
            d.focus = h;
            d.dirty = true;
            return;
        case ControlKind::listBox: {
            const ListGeometry g = listGeometry(*c, d);
            if (g.scrollBar && cx >= g.bar.left) {
                const int arrowHeight = std::min(16, static_cast<int>((g.bar.bottom - g.bar.top) / 2));
                int step = 0;
                if (cy < g.bar.top + arrowHeight) {
                    step = -1;
                } else if (cy >= g.bar.bottom - arrowHeight) {
                    step = 1;
                } else {
                    const int mid = (g.bar.top + g.bar.bottom) / 2;
                    step = cy < mid ? -g.fullRows : g.fullRows;
                }
                const int maxTop = std::max(0, static_cast<int>(c->rows.size()) - g.fullRows);
                c->topRow = std::clamp(c->topRow + step, 0, maxTop);
                d.focus = h;
                d.dirty = true;
                return;
            }
            const int row = c->topRow + static_cast<int>((cy - g.inner.top) / g.rowHeight);
            if (cy >= g.inner.top && row < static_cast<int>(c->rows.size())) {
                dialogChooseRow(dialog, h, row, false);
            } else {
                d.focus = h;
                d.dirty = true;
            }
            return;
        }
        default:
            continue;
        }
    }
}

void dialogWheel(HWND dialog, int x, int y, int steps) {
    Window* dw = find(dialog);
    if (dw == nullptr || !dw->dialog) {
        return;
    }
    Dialog& d = *dw->dialog;
    const int cx = x - d.frame - d.edge;
    const int cy = y - d.frame - d.caption - d.edge;
    for (HWND h : d.controls) {
        Window* c = find(h);
        if (c != nullptr && c->kind == ControlKind::listBox && c->visible && cx >= c->rect.left && cx < c->rect.right &&
            cy >= c->rect.top && cy < c->rect.bottom) {
            const int maxTop = std::max(0, static_cast<int>(c->rows.size()) - visibleRows(*c, d));
            c->topRow = std::clamp(c->topRow - 3 * steps, 0, maxTop);
            d.dirty = true;
            return;
        }
    }
}

} // namespace platform::win32::user

namespace platform::win32 {

bool paintDialog(HWND dialog, Picture& picture) {
    Window* dw = find(dialog);
    if (dw == nullptr || !dw->dialog) {
        return false;
    }
    const Dialog& d = *dw->dialog;
    const int width = dialogWindowWidth(d);
    const int height = dialogWindowHeight(d);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr) {
        if (dc != nullptr) {
            DeleteDC(dc);
        }
        return false;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, d.font);
    const Canvas canvas{width, height, static_cast<std::uint32_t*>(bits), dc};
    paintFrame(canvas, *dw, d);
    paintClientEdge(canvas, d);
    const int ox = d.frame + d.edge;
    const int oy = d.frame + d.caption + d.edge;
    for (HWND h : d.controls) {
        const Window* c = find(h);
        if (c != nullptr && c->visible) {
            paintControl(canvas, *c, d, ox, oy);
        }
    }
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        picture.pixels[i] = 0xFF000000u | (canvas.pixels[i] & 0x00FFFFFFu);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return true;
}

} // namespace platform::win32
