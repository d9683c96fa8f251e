// Everything start-up makes for the show, owned for the rest of the process,
// and the few values the frame loop keeps from one frame to the next. The
// frame loop and the six scenes read it; only start-up fills it.
#pragma once

#include "app/timeline.h"
#include "dx/dxmath.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class device;
class fontAtlas;
class genmesh;
class mesh;
class texture;
class vertexbuffer;
class particleField;

namespace music {
class SongClock;
}

namespace effects {
class Tubes;
class BlobScene;
class BlobSculpture;
} // namespace effects

namespace app {

// What drawScreenQuad is called through by the effects.
struct QuadObject {
    device* owner;
};

// The pair passed to the zoom blur.
struct BlurContext {
    device* owner;
    QuadObject* quad;
};

inline constexpr int kCaptionCount = 12;

struct Show {
    device* dev = nullptr;
    fontAtlas* atlas = nullptr;
    QuadObject* quad = nullptr;
    BlurContext* blur = nullptr;
    vertexbuffer* pool = nullptr; // the 1,000 particles of scenes 2 and 3
    genmesh* generator = nullptr;
    mesh* sphere = nullptr; // mesh M2
    // Render target indices of T1 to T6: three of the back buffer's size,
    // three of 512 x 256.
    std::array<int, 6> targets{};
    std::array<texture*, 4> programs{}; // P1 to P4
    texture* logo = nullptr;
    std::array<texture*, kCaptionCount> captions{};
    particleField* cloth = nullptr;
    effects::Tubes* tunnel = nullptr;
    effects::BlobSculpture* sculpture = nullptr;
    effects::BlobScene* blobs = nullptr;
    music::SongClock* music = nullptr;
    Matrix view{};
    Matrix projection{};
    Stopwatch demoClock;

    // Kept between frames.
    int part = 4;
    int captionIndex = 0;

    int target(int number) const { return targets[static_cast<std::size_t>(number - 1)]; }
    texture& program(int number) const { return *programs[static_cast<std::size_t>(number - 1)]; }
};

// Start-up after the device exists, in the show's order: the font atlas, the
// quad object and blur context, the effects (tunnel, sculpture, blob scene),
// the particle pool, the mesh generator, the render targets, the four program
// textures, the pictures, the fixed-function defaults and matrices, the song,
// the show's clock, the cloth and the sphere; the scene starts at 4. Raises
// the error record on the first failure.
void buildShow(Show& show, device* dev);

// Weak shader hardware shows the first program texture in grey: each colour
// byte multiplied by 0.33333334f (the single-precision value nearest 1/3),
// the three products summed in the order red, blue, green and truncated;
// alpha becomes 0. The product is written out, not left to a division by
// three, so that the grey does not depend on how a compiler treats that
// division (a fast floating-point mode turns it into this very product). The
// two forms differ on some pixels: bytes 1, 1 and 7 give exactly 3 (grey 3)
// this way and 2.9999998 (grey 2) with three true divisions.
void turnGrey(std::uint32_t* pixels, std::size_t count);

} // namespace app
