// The capture's command line and what it leaves to the renderer, and the
// estimate of the time left.
#include "tools/capture/estimate.h"
#include "tools/capture/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DefaultsCase {
    std::string renderer;
    std::vector<std::string> args;
    int width, height, fps;
    bool softwareDefaultsUsed;
};

TEST(CaptureOptions, TheRendererDecidesWhatTheCommandLineLeavesOpen) {
    const std::string llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
    const std::string radeon = "AMD Radeon RX 6600 (radeonsi, navy_flounder, LLVM 15.0.6, DRM 3.49, 6.1.0)";
    const DefaultsCase cases[] = {
        {llvmpipe, {}, 640, 360, 30, true},
        {"softpipe", {}, 640, 360, 30, true},
        {"Mesa OffScreen swrast", {}, 640, 360, 30, true},
        {"", {}, 640, 360, 30, true}, // no renderer found: the cheap choice
        {radeon, {}, 1920, 1080, 60, false},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", {}, 1920, 1080, 60, false},
        {llvmpipe, {"--width", "1280", "--height", "720", "--fps", "60"}, 1280, 720, 60, false},
        {radeon, {"--width", "320", "--height", "240", "--fps", "10"}, 320, 240, 10, false},
        {llvmpipe, {"--fps", "60"}, 640, 360, 60, true},
        {llvmpipe, {"--width", "1280", "--height", "720"}, 1280, 720, 30, true},
        {radeon, {"--width", "1280"}, 1280, 720, 60, false},
        {llvmpipe, {"--height", "480", "--fps", "24"}, 854, 480, 24, true}, // 853.3 to the nearest even
    };
    for (const DefaultsCase& c : cases) {
        std::vector<std::string> words = {"riza3v-capture"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& w : words) {
            argv.push_back(w.data());
        }
        capture::Options options;
        std::string error;
        ASSERT_TRUE(capture::parseOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
        EXPECT_EQ(capture::applyRendererDefaults(options, c.renderer), c.softwareDefaultsUsed) << c.renderer;
        EXPECT_EQ(options.width, c.width) << c.renderer << " " << c.args.size();
        EXPECT_EQ(options.height, c.height) << c.renderer << " " << c.args.size();
        EXPECT_EQ(options.fps, c.fps) << c.renderer << " " << c.args.size();
    }
}

// --help and -h are checked on the tool itself (usage_test.cpp).
TEST(CaptureOptions, TheRangeNeedsAFrame) {
    capture::Options options;
    options.fps = 30;
    options.from = 3.01; // frames at 30 fps fall on 3.0, 3.033 and 3.067 s
    options.to = 3.03;
    std::string error;
    EXPECT_FALSE(capture::checkRange(options, error));
    options.to = 3.04;
    EXPECT_TRUE(capture::checkRange(options, error));
}

// A machine that is k times slower than the reference in every scene: once
// a frame has been timed, the time left is the reference time of the frames
// left and of the finishing, times k, whichever scenes they are in. Counting frames alone would
// miss by far more than a fifth, as the scenes differ in cost.
TEST(CaptureEstimate, TimeLeftFollowsTheScenesStillToCome) {
    const int w = 640;
    const int h = 360;
    const int fps = 30;
    const long end = 69 * fps;
    const double k = 1.7;
    std::vector<double> cost(end);
    double total = 0.0;
    for (long n = 0; n < end; ++n) {
        cost[static_cast<std::size_t>(n)] = k * capture::referenceFrameSeconds(capture::sceneAt(n / 30.0), w, h);
        total += cost[static_cast<std::size_t>(n)];
    }
    EXPECT_NEAR(capture::referenceCaptureSeconds(w, h, fps, 0, end) * k, total, total * 1e-9);

    capture::Estimate estimate(w, h, fps, 0, end);
    EXPECT_LT(estimate.secondsLeft(), 0.0) << "nothing timed yet";
    double wall = 0.0;
    double worstUniform = 0.0;
    for (long n = 0; n < end; ++n) {
        wall += n > 0 ? cost[static_cast<std::size_t>(n)] : 0.0;
        estimate.frameDone(n, wall);
        const double left = total - cost[0] - wall + k * capture::kReferenceFinishSeconds;
        if (n + 1 >= end / 10 && n + 1 < end) {
            ASSERT_NEAR(estimate.secondsLeft(), left, left * 0.01 + 1e-9) << "after frame " << n;
            const double uniform = wall / static_cast<double>(n) * static_cast<double>(end - n - 1);
            worstUniform = std::max(worstUniform, std::abs(uniform - left) / left);
        }
    }
    EXPECT_NEAR(estimate.secondsLeft(), k * capture::kReferenceFinishSeconds, 1e-9) << "the finishing is left";
    EXPECT_GT(worstUniform, 0.2);
}

// A scene whose frames cost what its reference says is costed by them once
// enough are timed, not by a dearer scene before it.
TEST(CaptureEstimate, AScenesOwnFramesOverrideTheMachineFactor) {
    const double scene1 = 5.0 * capture::referenceFrameSeconds(1, 640, 360);
    const double scene2 = capture::referenceFrameSeconds(2, 640, 360);
    capture::Estimate estimate(640, 360, 10, 0, 200); // 0 to 20 s at 10 fps: scene 1, then scene 2
    double wall = 0.0;
    for (long n = 0; n < 150; ++n) {
        wall += n == 0 ? 0.0 : n < 100 ? scene1 : scene2;
        estimate.frameDone(n, wall);
    }
    // The finishing is scaled by the machine factor of all frames so far.
    const double machine = (99 * scene1 + 50 * scene2) / (99 * scene1 / 5.0 + 50 * scene2);
    EXPECT_NEAR(estimate.secondsLeft(), 50 * scene2 + capture::kReferenceFinishSeconds * machine, 1e-9);
}

} // namespace
