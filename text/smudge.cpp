#include "platform/crt/random.h"
#include "text/fontatlas.h"

namespace {

bool odd(int r) {
    return (r & 1) != 0;
}

} // namespace

namespace text {

void smudge(std::uint32_t* pixels) {
    platform::crt::srand(1);
    auto at = [pixels](int x, int y) -> std::uint32_t& {
        return pixels[static_cast<std::size_t>(y) * kAtlasSize + static_cast<std::size_t>(x)];
    };
    int y = 1;
    while (y < kAtlasSize - 1) {
        int x = 1;
        while (x < kAtlasSize - 1) {
            std::uint32_t& p = at(x, y);
            if (odd(platform::crt::rand())) {
                p += at(x, y - 1);
            }
            if (odd(platform::crt::rand())) {
                p += at(x, y + 1);
            }
            if (odd(platform::crt::rand())) {
                p += at(x + 1, y);
            }
            if (odd(platform::crt::rand())) {
                p += at(x - 1, y);
            }
            x += platform::crt::rand() % 3;
        }
        y += platform::crt::rand() % 3;
    }
}

} // namespace text
