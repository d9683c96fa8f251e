// A mip-mapped texture made from 32-bit pixels, keeping its own copy of them.
//
// Every smaller level averages 2 x 2 blocks of the one above it per byte
// channel, truncating at each halving. Made at start-up and never released by
// the show.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <vector>

class device;

class texture {
  public:
    // Copies width × height words from pixels (rows packed, top row first) and
    // creates and fills a managed texture in the back buffer's format. levels
    // -1 asks for 8; never more levels than the image can halve to are made.
    // Raises "auto throw(d3d)" (dxtexture) when the texture cannot be made.
    texture(device* owner, const std::uint32_t* pixels, int width, int height, int levels, int ignored);
    ~texture();
    texture(const texture&) = delete;
    texture& operator=(const texture&) = delete;

    // Rewrites every level from pixels.
    void fill();
    // The block of `level` made from the block of level - 1 (of this texture's size).
    std::vector<std::uint32_t> halve(const std::vector<std::uint32_t>& source, int level) const;

    std::int32_t levels;
    device* owner;
    IDirect3DTexture9* d3dTexture;
    std::vector<std::uint32_t> pixels;
    std::int32_t width;
    std::int32_t height;
};

namespace dx {

// Levels whose blocks can all be made by halving 2 x 2 blocks: level l needs a
// source of at least two rows and two columns, so 1 + floor(log2(min side)).
int halvableLevelCount(int width, int height);

} // namespace dx
