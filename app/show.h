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
class SongClock;
class particleField;

namespace effects {
class Tubes;
class BlobScene;
class BlobSculpture;
} // namespace effects

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
    SongClock* music = nullptr;
    Matrix view{};
    Matrix projection{};
    Stopwatch demoClock;

    // Kept between frames.
    int part = 4;
    int captionIndex = 0;

    int target(int number) const { return targets[static_cast<std::size_t>(number - 1)]; }
    texture& program(int number) const { return *programs[static_cast<std::size_t>(number - 1)]; }
};
