#include "tools/capture/estimate.h"

#include "app/timeline.h"

namespace capture {
namespace {

// Per frame: a fixed part (the scene's own CPU work: simulation, meshes,
// isosurfaces) and a part per million pixels (rasterising, blur passes,
// read-back and encoding). Fitted to --timings runs at 640 x 360 and
// 1280 x 720 on an otherwise idle two-core machine with Mesa llvmpipe, the
// encoder included. Another machine differs in scale more than in the ratios
// between scenes, so the estimate takes its scale from the frames as they are
// timed.
struct SceneCost {
    double fixedSeconds;
    double secondsPerMegapixel;
};
constexpr std::array<SceneCost, 7> kReferenceCosts = {{
    {0.0, 0.0}, // unused
    {0.0236, 0.156},
    {0.0418, 0.0300},
    {0.0011, 0.1238},
    {0.0, 0.0835},
    {0.0032, 0.0259},
    {0.0010, 0.0356},
}};

} // namespace

int sceneAt(double t) {
    for (const app::SceneSpan& span : app::scenesInPlayOrder()) {
        if (t < span.to) {
            return span.part;
        }
    }
    return app::scenesInPlayOrder().back().part;
}

double referenceFrameSeconds(int part, int width, int height) {
    const SceneCost& cost = kReferenceCosts.at(static_cast<std::size_t>(part));
    return cost.fixedSeconds + cost.secondsPerMegapixel * width * height / 1e6;
}

double referenceCaptureSeconds(int width, int height, int fps, long first, long end) {
    double seconds = 0.0;
    for (long n = first; n < end; ++n) {
        seconds += referenceFrameSeconds(sceneAt(static_cast<double>(n) / fps), width, height);
    }
    return seconds;
}

Estimate::Estimate(int width, int height, int fps, long first, long end) : fps_(fps) {
    for (int part = 1; part <= 6; ++part) {
        scenes_[static_cast<std::size_t>(part)].referenceSeconds = referenceFrameSeconds(part, width, height);
    }
    for (long n = first; n < end; ++n) {
        ++scenes_[static_cast<std::size_t>(sceneAt(static_cast<double>(n) / fps))].framesLeft;
    }
}

void Estimate::frameDone(long n, double wallSeconds) {
    Scene& scene = scenes_[static_cast<std::size_t>(sceneAt(static_cast<double>(n) / fps_))];
    --scene.framesLeft;
    ++framesDone_;
    // The first frame starts the clock; each later one costs the time since the one before.
    if (framesDone_ > 1) {
        const double spent = wallSeconds - lastWall_;
        ++scene.framesTimed;
        scene.wallSeconds += spent;
        wallTotal_ += spent;
        referenceDone_ += scene.referenceSeconds;
    }
    lastWall_ = wallSeconds;
}

double Estimate::secondsLeft() const {
    if (referenceDone_ <= 0.0) {
        return -1.0;
    }
    const double machine = wallTotal_ / referenceDone_;
    double left = kReferenceFinishSeconds * machine;
    for (const Scene& scene : scenes_) {
        const double perFrame = scene.framesTimed >= kFramesToTrust ? scene.wallSeconds / scene.framesTimed
                                                                    : scene.referenceSeconds * machine;
        left += static_cast<double>(scene.framesLeft) * perFrame;
    }
    return left;
}

} // namespace capture
