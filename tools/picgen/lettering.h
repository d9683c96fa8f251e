// Lines of text drawn as coverage masks with FreeType, for the picture
// generator. The masks are cut to the ink, so that callers centre what shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace picgen {

// 8-bit coverage (0 none, 255 full), rows top to bottom.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> alpha;

    std::uint8_t at(int x, int y) const {
        return alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

class Lettering {
  public:
    Lettering();
    ~Lettering();
    Lettering(const Lettering&) = delete;
    Lettering& operator=(const Lettering&) = delete;

    // Opens the font file; on failure returns false with the reason in `why`.
    bool open(const std::string& fontPath, std::string* why);

    // `text` (ASCII) at a nominal size of `pixelSize` pixels, kerned, cut to
    // its ink. An empty mask when nothing has ink.
    Mask render(const std::string& text, int pixelSize) const;

    // The largest size, up to `startSize`, at which `text`'s ink fits in
    // maxWidth x maxHeight; rendered at that size.
    Mask fit(const std::string& text, int startSize, int maxWidth, int maxHeight) const;

  private:
    struct Face;
    std::unique_ptr<Face> face_;
};

} // namespace picgen
