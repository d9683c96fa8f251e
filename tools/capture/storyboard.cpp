#include "tools/capture/storyboard.h"

#include "platform/gdi/gdi.h"
#include "tools/pngfile/pngfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace capture {
namespace {

constexpr std::uint32_t kEmptyPanel = 0x303030;
constexpr std::uint32_t kTextColour = 0xF0F0F0;
constexpr std::uint32_t kWaveBackground = 0x101010;

// The board is drawn into a top-down 32-bit DIB section (0x00RRGGBB words), so
// that the labels can be drawn onto it with the platform's text output.
class Canvas {
  public:
    Canvas() {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kBoardWidth;
        info.bmiHeader.biHeight = -kBoardHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = dc_ != nullptr ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        pixels_ = static_cast<std::uint32_t*>(bits);
        if (bitmap_ != nullptr) {
            oldBitmap_ = SelectObject(dc_, bitmap_);
            font_ = CreateFontA(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, "DejaVu Sans");
            oldFont_ = font_ != nullptr ? SelectObject(dc_, font_) : nullptr;
            SetBkMode(dc_, TRANSPARENT);
            SetTextColor(dc_, RGB(kTextColour >> 16 & 0xFF, kTextColour >> 8 & 0xFF, kTextColour & 0xFF));
        }
    }
    ~Canvas() {
        if (oldFont_ != nullptr) {
            SelectObject(dc_, oldFont_);
            DeleteObject(font_);
        }
        if (oldBitmap_ != nullptr) {
            SelectObject(dc_, oldBitmap_);
        }
        if (bitmap_ != nullptr) {
            DeleteObject(bitmap_);
        }
        if (dc_ != nullptr) {
            DeleteDC(dc_);
        }
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ready() const { return pixels_ != nullptr && font_ != nullptr; }

    void fill(int x0, int y0, int x1, int y1, std::uint32_t rgb) {
        for (int y = std::max(y0, 0); y < std::min(y1, kBoardHeight); ++y) {
            std::fill(row(y) + std::max(x0, 0), row(y) + std::min(x1, kBoardWidth), rgb);
        }
    }

    // Text whose top edge is at y, with x at its left, centre or right (TA_LEFT, TA_CENTER, TA_RIGHT).
    void text(int x, int y, const std::string& s, UINT align) {
        SetTextAlign(dc_, align | TA_TOP);
        ExtTextOutA(dc_, x, y, 0, nullptr, s.c_str(), static_cast<UINT>(s.size()), nullptr);
    }

    std::uint32_t* row(int y) { return pixels_ + static_cast<std::size_t>(y) * kBoardWidth; }

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
};

// The frame scaled to the panel: each panel pixel is the mean of the frame
// pixels it covers (the nearest one when the frame is smaller).
void drawPanel(Canvas& canvas, int left, int top, const StoryboardPanel& panel) {
    for (int y = 0; y < kPanelHeight; ++y) {
        const int sy0 = y * panel.height / kPanelHeight;
        const int sy1 = std::max(sy0 + 1, (y + 1) * panel.height / kPanelHeight);
        std::uint32_t* out = canvas.row(top + y) + left;
        for (int x = 0; x < kPanelWidth; ++x) {
            const int sx0 = x * panel.width / kPanelWidth;
            const int sx1 = std::max(sx0 + 1, (x + 1) * panel.width / kPanelWidth);
            unsigned sum[3] = {0, 0, 0};
            for (int sy = sy0; sy < sy1; ++sy) {
                const std::uint8_t* p = &panel.rgba[(static_cast<std::size_t>(sy) * panel.width + sx0) * 4];
                for (int sx = sx0; sx < sx1; ++sx, p += 4) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const auto n = static_cast<unsigned>((sy1 - sy0) * (sx1 - sx0));
            out[x] = (sum[0] + n / 2) / n << 16 | (sum[1] + n / 2) / n << 8 | (sum[2] + n / 2) / n;
        }
    }
}

// Seconds to a tenth, without trailing zeros.
std::string number(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(s * 10.0) / 10.0);
    return text;
}

int waveX(double t, double showSeconds) {
    return kWaveLeft + static_cast<int>(std::lround(t / showSeconds * kWaveWidth));
}

// Per column the loudest sample of either channel in its stretch of time,
// drawn as a bar mirrored about the middle line.
void drawWave(Canvas& canvas, const wavfile::Sound& sound, double showSeconds) {
    const int middle = kWaveTop + kWaveHeight / 2;
    const double framesPerColumn = showSeconds * sound.framesPerSecond / kWaveWidth;
    const std::size_t frames = sound.channels > 0 ? sound.samples.size() / sound.channels : 0;
    for (int c = 0; c < kWaveWidth; ++c) {
        const auto from = std::min(frames, static_cast<std::size_t>(c * framesPerColumn));
        const auto to = std::min(frames, static_cast<std::size_t>((c + 1) * framesPerColumn));
        int peak = 0;
        for (std::size_t i = from * sound.channels; i < to * sound.channels; ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(sound.samples[i])));
        }
        const int half = static_cast<int>(std::lround(peak / 32768.0 * (kWaveHeight / 2 - 1)));
        canvas.fill(kWaveLeft + c, middle - half, kWaveLeft + c + 1, middle + half + 1, kWaveColour);
    }
}

} // namespace

int panelLeft(int i) {
    return kBoardMargin + (i % kPanelColumns) * (kPanelWidth + kBoardMargin);
}

int panelTop(int i) {
    return (i / kPanelColumns) * (kBoardMargin + kLabelHeight + kPanelHeight) + kBoardMargin + kLabelHeight;
}

double panelTime(const StoryboardPanel& panel) {
    return (panel.from + panel.to) / 2.0;
}

bool writeStoryboard(const std::string& path, const Storyboard& board, const wavfile::Sound& sound, std::string& why) {
    Canvas canvas;
    if (!canvas.ready()) {
        why = "no memory device context or font for the labels (see riza3v.log)";
        return false;
    }
    canvas.fill(0, 0, kBoardWidth, kBoardHeight, kBoardBackground);
    for (int i = 0; i < static_cast<int>(board.panels.size()); ++i) {
        const StoryboardPanel& panel = board.panels[static_cast<std::size_t>(i)];
        const int left = panelLeft(i);
        const int top = panelTop(i);
        canvas.text(left, top - kLabelHeight + 4,
                    "scene " + std::to_string(panel.part) + "    " + number(panel.from) + " to " + number(panel.to) +
                        " s",
                    TA_LEFT);
        if (panel.rgba.empty()) {
            canvas.fill(left, top, left + kPanelWidth, top + kPanelHeight, kEmptyPanel);
            canvas.text(left + kPanelWidth / 2, top + kPanelHeight / 2 - 8, "not captured", TA_CENTER);
        } else {
            drawPanel(canvas, left, top, panel);
        }
    }

    const double showSeconds = board.showSeconds > 0.0 ? board.showSeconds : 1.0;
    canvas.fill(kWaveLeft, kBeatStripTop, kWaveLeft + kWaveWidth, kAxisTop, kWaveBackground);
    for (std::size_t i = 1; i < board.panels.size(); ++i) {
        const int x = waveX(board.panels[i].from, showSeconds);
        canvas.fill(x, kBeatStripTop, x + 1, kAxisTop + kAxisHeight, kSceneChangeColour);
    }
    drawWave(canvas, sound, showSeconds);
    for (double beat : board.beats) {
        const int x = std::min(waveX(beat, showSeconds), kWaveLeft + kWaveWidth - 1);
        canvas.fill(x, kBeatStripTop + 2, x + 1, kWaveTop - 2, kBeatColour);
    }
    for (const StoryboardPanel& panel : board.panels) {
        const int middle = (waveX(panel.from, showSeconds) + waveX(panel.to, showSeconds)) / 2;
        canvas.text(middle, kAxisTop + 3, std::to_string(panel.part), TA_CENTER);
    }
    canvas.text(kWaveLeft + 2, kAxisTop + 3, "0 s", TA_LEFT);
    canvas.text(kWaveLeft + kWaveWidth - 2, kAxisTop + 3, number(showSeconds) + " s", TA_RIGHT);

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kBoardWidth) * kBoardHeight * 3);
    for (int y = 0; y < kBoardHeight; ++y) {
        const std::uint32_t* in = canvas.row(y);
        std::uint8_t* out = &rgb[static_cast<std::size_t>(y) * kBoardWidth * 3];
        for (int x = 0; x < kBoardWidth; ++x, out += 3) {
            out[0] = static_cast<std::uint8_t>(in[x] >> 16);
            out[1] = static_cast<std::uint8_t>(in[x] >> 8);
            out[2] = static_cast<std::uint8_t>(in[x]);
        }
    }
    return pngfile::writePng(path, kBoardWidth, kBoardHeight, 3, rgb.data(), &why);
}

} // namespace capture
