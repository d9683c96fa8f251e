#include "dx/dxtexture.h"

#include "debuglog/log.h"
#include "dx/dxdevice.h"
#include "errors/errors.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kFile = "dxtexture";

// Level count that -1 stands for.
constexpr int kDefaultLevels = 8;

} // namespace

namespace dx {

int halvableLevelCount(int width, int height) {
    int side = std::min(width, height);
    int count = 1;
    while (side >= 2) {
        side /= 2;
        ++count;
    }
    return count;
}

} // namespace dx

texture::texture(device* ownerDevice, const std::uint32_t* source, int w, int h, int levelCount, int)
    : levels(levelCount), owner(ownerDevice), d3dTexture(nullptr),
      pixels(source, source + static_cast<std::size_t>(w) * static_cast<std::size_t>(h)), width(w), height(h) {
    // 0 asks the platform for the whole chain; bounding it here keeps every
    // level one that halving can make.
    int asked = levelCount == -1 ? kDefaultLevels : levelCount;
    const int most = dx::halvableLevelCount(w, h);
    if (asked == 0 || asked > most) {
        asked = most;
    }
    errors::checkD3d(owner->d3dDevice->CreateTexture(
                         static_cast<UINT>(w), static_cast<UINT>(h), static_cast<UINT>(asked), 0,
                         owner->presentParameters.BackBufferFormat, D3DPOOL_MANAGED, &d3dTexture, nullptr),
                     kFile, 105);
    fill();
}

texture::~texture() {
    logPrintf("entering ~texture..");
    if (d3dTexture != nullptr) {
        d3dTexture->Release();
    }
    logPrintf("leaving ~texture..");
}

void texture::fill() {
    std::vector<std::uint32_t> working = pixels;
    const DWORD count = d3dTexture->GetLevelCount();
    for (DWORD l = 0; l < count; ++l) {
        D3DLOCKED_RECT locked{};
        errors::checkD3d(d3dTexture->LockRect(l, &locked, nullptr, 0), kFile, 68);
        if (l > 0) {
            working = halve(working, static_cast<int>(l));
        }
        const int rowWords = width >> l;
        const int rows = height >> l;
        auto* base = static_cast<std::uint8_t*>(locked.pBits);
        for (int y = 0; y < rows; ++y) {
            std::memcpy(base + static_cast<std::ptrdiff_t>(y) * locked.Pitch,
                        working.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowWords),
                        static_cast<std::size_t>(rowWords) * sizeof(std::uint32_t));
        }
        d3dTexture->UnlockRect(l);
    }
}

std::vector<std::uint32_t> texture::halve(const std::vector<std::uint32_t>& source, int level) const {
    const int sw = width >> (level - 1);
    const int sh = height >> (level - 1);
    std::vector<std::uint32_t> result(static_cast<std::size_t>(sw / 2) * static_cast<std::size_t>(sh / 2));
    if (sh < 2) {
        return result;
    }
    // Shifting each word right before adding keeps every byte channel below
    // 0x80, so sums never carry into the neighbouring channel.
    constexpr std::uint32_t M = 0x7F7F7F7Fu;
    const int ow = sw / 2;
    for (int y = 0; y < sh / 2; ++y) {
        const std::uint32_t* top = source.data() + static_cast<std::size_t>(2 * y) * static_cast<std::size_t>(sw);
        const std::uint32_t* below = top + sw;
        for (int x = 0; x < ow; ++x) {
            const std::uint32_t p00 = top[2 * x];
            const std::uint32_t p10 = top[2 * x + 1];
            const std::uint32_t p01 = below[2 * x];
            const std::uint32_t p11 = below[2 * x + 1];
            const std::uint32_t lower = ((((p11 >> 1) & M) + ((p01 >> 1) & M)) >> 1) & M;
            const std::uint32_t upper = ((((p10 >> 1) & M) + ((p00 >> 1) & M)) >> 1) & M;
            result[static_cast<std::size_t>(y) * static_cast<std::size_t>(ow) + static_cast<std::size_t>(x)] =
                lower + upper;
        }
    }
    return result;
}
