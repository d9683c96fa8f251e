// How long a capture takes: a cost per frame for each scene, first from a
// model measured on a reference machine, then from the frames of each scene as
// they are written. The scenes differ several times over in cost, so the time
// left is the frames still to come in each scene times that scene's cost, plus
// the finishing (closing the video, drawing the storyboard).
#pragma once

#include <array>

namespace capture {

// Seconds a frame of scene `part` (1 to 6) took on the reference machine (two
// cores, Mesa llvmpipe) at width x height, drawing, reading back and encoding.
double referenceFrameSeconds(int part, int width, int height);

// Seconds the reference machine takes after the last frame: the encoder's
// last frames, the WAV header and the storyboard.
inline constexpr double kReferenceFinishSeconds = 1.9;

// The whole of frames first..end-1 at fps on the reference machine, without
// the finishing.
double referenceCaptureSeconds(int width, int height, int fps, long first, long end);

class Estimate {
  public:
    Estimate(int width, int height, int fps, long first, long end);

    // Frame n was written `wallSeconds` after the first one was.
    void frameDone(long n, double wallSeconds);

    // Seconds until the capture is finished; negative until a frame has been
    // timed. Scenes with enough frames timed use their own cost; the others,
    // and the finishing, their reference cost scaled by how this machine
    // compares with the reference so far.
    double secondsLeft() const;

    // Frames of scene `part` timed so far and the wall time they took.
    long framesTimed(int part) const { return scenes_.at(static_cast<std::size_t>(part)).framesTimed; }
    double wallSeconds(int part) const { return scenes_.at(static_cast<std::size_t>(part)).wallSeconds; }

  private:
    struct Scene {
        double referenceSeconds = 0.0; // per frame on the reference machine
        long framesLeft = 0;
        long framesTimed = 0;
        double wallSeconds = 0.0;
    };
    static constexpr int kFramesToTrust = 15;

    int fps_;
    std::array<Scene, 7> scenes_{}; // by scene number; 0 is unused
    long framesDone_ = 0;
    double lastWall_ = 0.0;
    double wallTotal_ = 0.0;
    double referenceDone_ = 0.0;
};

// The scene that plays at show time t (seconds) without the Space key.
int sceneAt(double t);

} // namespace capture
