// A sized TrueType face behind an HFONT: found through fontconfig (or among the fonts packaged with the page), measured
// and rasterised by FreeType. Internal to the GDI layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform::gdi {

struct FaceRequest {
    std::string faceName;
    int height = 0; // as CreateFontA takes it: < 0 em size, > 0 cell height, 0 default
    int weight = 400;
    bool italic = false;
    bool antialiased = true;
};

// One rendered glyph: coverage 0..255 per pixel, `rows` rows of `width`
// bytes; the bitmap's top-left corner sits at (pen x + left, baseline - top).
struct Glyph {
    int advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    const std::uint8_t* coverage = nullptr;
};

class FontFace {
  public:
    // The face for the request, or null when no face can be opened at all.
    static std::unique_ptr<FontFace> open(const FaceRequest& request);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // Advance of a character (Latin-1 byte) in whole pixels.
    int advance(unsigned char c);
    // Renders a character; the glyph stays valid until the next call.
    const Glyph& render(unsigned char c);

    const std::string& family() const { return family_; }
    int emPixels() const { return em_; }
    int ascent() const { return ascent_; }
    int descent() const { return descent_; }
    int maxAdvance() const { return maxAdvance_; }
    bool antialiased() const { return antialiased_; }
    int weight() const { return weight_; }
    bool italic() const { return italic_; }

  private:
    FontFace() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string family_;
    int em_ = 0;
    int ascent_ = 0;
    int descent_ = 0;
    int maxAdvance_ = 0;
    bool antialiased_ = true;
    int weight_ = 400;
    bool italic_ = false;
    int advances_[256] = {};
    Glyph glyph_;
};

// Resolves a face name to an installed family, file and face index through
// fontconfig, with the fallbacks of CreateFontA. Exposed for tests.
struct FaceFile {
    std::string family;
    std::string path;
    int index = 0;
};
bool findFaceFile(const std::string& faceName, int weight, bool italic, FaceFile& out);

// The backend's best match for one family (fontconfig on the desktop, the
// fonts packaged with the page in the browser); `exact` is set when the
// match carries the family asked for rather than a substitute.
bool matchFamily(const std::string& family, int weight, bool italic, FaceFile& out, bool& exact);

} // namespace platform::gdi
