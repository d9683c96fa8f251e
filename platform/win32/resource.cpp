// The program's resource tables, and the stock icons, which this layer draws
// itself (32 × 32, shapes sampled 4 × 4 per pixel for smooth edges).
#include "platform/win32/resource.h"

#include "platform/win32/user.h"
#include "platform/win32/userstate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>

namespace {

std::map<WORD, const DialogTemplate*> dialogs;
std::map<WORD, const IconImage*> icons;

constexpr int kIconSize = 32;

struct Rgba {
    float r, g, b, a;
};

// A shape gives the colour at a point of the 32 × 32 square (or alpha 0).
using Shape = std::function<Rgba(float x, float y)>;

struct StockIcon {
    std::array<std::uint32_t, kIconSize * kIconSize> pixels{};
    IconImage image{kIconSize, kIconSize, nullptr};

    explicit StockIcon(const Shape& shape) {
        for (int y = 0; y < kIconSize; ++y) {
            for (int x = 0; x < kIconSize; ++x) {
                float r = 0, g = 0, b = 0, a = 0;
                for (int sy = 0; sy < 4; ++sy) {
                    for (int sx = 0; sx < 4; ++sx) {
                        const Rgba c = shape(x + (sx + 0.5f) / 4.0f, y + (sy + 0.5f) / 4.0f);
                        r += c.r * c.a;
                        g += c.g * c.a;
                        b += c.b * c.a;
                        a += c.a;
                    }
                }
                std::uint32_t value = 0;
                if (a > 0) {
                    auto channel = [a](float v) {
                        return static_cast<std::uint32_t>(std::clamp(v / a, 0.0f, 1.0f) * 255.0f + 0.5f);
                    };
                    const std::uint32_t alpha = static_cast<std::uint32_t>(a / 16.0f * 255.0f + 0.5f);
                    value = (alpha << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
                }
                pixels[static_cast<std::size_t>(y) * kIconSize + x] = value;
            }
        }
        image.pixels = pixels.data();
    }
};

float distanceToSegment(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax;
    const float dy = by - ay;
    const float t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// The stop sign: a red disc with a dark rim and a white cross.
Rgba stopShape(float x, float y) {
    const float d = std::hypot(x - 16.0f, y - 16.0f);
    if (d > 15.0f) {
        return {0, 0, 0, 0};
    }
    const float cross = std::min(distanceToSegment(x, y, 10.5f, 10.5f, 21.5f, 21.5f),
                                 distanceToSegment(x, y, 21.5f, 10.5f, 10.5f, 21.5f));
    if (cross < 2.0f) {
        return {1, 1, 1, 1};
    }
    if (d > 13.8f) {
        return {0.45f, 0.0f, 0.0f, 1};
    }
    return {0.9f, 0.05f, 0.05f, 1};
}

// The warning sign: a yellow triangle with a black rim and exclamation mark.
Rgba exclamationShape(float x, float y) {
    const float top = 2.0f;
    const float bottom = 29.5f;
    if (y < top || y > bottom) {
        return {0, 0, 0, 0};
    }
    const float half = (y - top) / (bottom - top) * 14.5f;
    if (std::fabs(x - 16.0f) > half) {
        return {0, 0, 0, 0};
    }
    const bool rim = std::fabs(x - 16.0f) > half - 1.6f || y > bottom - 1.4f;
    const bool bar = std::fabs(x - 16.0f) < 1.7f - (y - 10.0f) * 0.05f && y > 10.0f && y < 22.0f;
    const bool dot = std::hypot(x - 16.0f, y - 25.0f) < 1.8f;
    if (rim || bar || dot) {
        return {0, 0, 0, 1};
    }
    return {1.0f, 0.85f, 0.0f, 1};
}

// A plain program: a white window with a blue title bar.
Rgba applicationShape(float x, float y) {
    if (x < 3 || x > 29 || y < 5 || y > 27) {
        return {0, 0, 0, 0};
    }
    if (x < 4 || x > 28 || y < 6 || y > 26) {
        return {0, 0, 0, 1};
    }
    if (y < 10) {
        return {0.04f, 0.14f, 0.42f, 1};
    }
    return {1, 1, 1, 1};
}

} // namespace

namespace platform::win32 {

void addDialogResource(WORD id, const DialogTemplate* dialog) {
    dialogs[id] = dialog;
}
void addIconResource(WORD id, const IconImage* icon) {
    icons[id] = icon;
}

const DialogTemplate* findDialogResource(WORD id) {
    auto it = dialogs.find(id);
    return it == dialogs.end() ? nullptr : it->second;
}

const IconImage* findIconResource(WORD id) {
    auto it = icons.find(id);
    return it == icons.end() ? nullptr : it->second;
}

} // namespace platform::win32

namespace platform::win32::user {

const IconImage* stockIcon(WORD id) {
    static const StockIcon hand(stopShape);
    static const StockIcon exclamation(exclamationShape);
    static const StockIcon application(applicationShape);
    switch (id) {
    case IDI_HAND:
        return &hand.image;
    case IDI_EXCLAMATION:
        return &exclamation.image;
    case IDI_APPLICATION:
        return &application.image;
    default:
        return nullptr;
    }
}

} // namespace platform::win32::user
