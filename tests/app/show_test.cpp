// The whole show run as a process in virtual mode (160 x 120, ten frames per
// second of show time), checked frame by frame against the timeline's rules.
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct Frame {
    double t;
    int part;
    double flash;
    int order;
    int row;
    int caption;
    double fadeA;
    double fadeB;
};

struct ShowRun {
    int status = -1;
    std::vector<Frame> frames;
    std::string log; // everything that is not a frame line
};

// Runs the probe from `folder`, by default the build folder (it reads shaders/ there).
ShowRun runShow(const std::string& environment, std::string folder = "") {
    folder = folder.empty() ? tests::support::buildPath("") : folder;
    const tests::support::Outcome o = tests::support::runShell(
        "cd '" + folder + "' && " + environment + " timeout 600 '" + tests::support::buildPath(SHOW_PROBE) + "' 2>&1");
    ShowRun run;
    run.status = o.status;
    std::istringstream lines(o.out);
    for (std::string line; std::getline(lines, line);) {
        Frame f{};
        if (std::sscanf(line.c_str(), "frame %lf %d %lf %d %d %d %lf %lf", &f.t, &f.part, &f.flash, &f.order, &f.row,
                        &f.caption, &f.fadeA, &f.fadeB) == 8) {
            run.frames.push_back(f);
        } else {
            run.log += line + "\n";
        }
    }
    return run;
}

// The show's schedule: the scene shown between two times. At a boundary
// itself the earlier scene is still drawn; 55 to 60 s belongs to scene 5.
struct Span {
    double from;
    double to;
    int part;
};
constexpr Span kSchedule[] = {{0.0, 10.0, 1},  {10.0, 23.0, 2}, {23.0, 33.0, 6},
                              {33.0, 50.0, 3}, {50.0, 60.0, 5}, {60.0, 69.0, 4}};

std::vector<int> sceneOrder(const std::vector<Frame>& frames) {
    std::vector<int> order;
    for (const Frame& f : frames) {
        if (order.empty() || order.back() != f.part) {
            order.push_back(f.part);
        }
    }
    return order;
}

const ShowRun& plainRun() {
    static const ShowRun run = runShow("");
    return run;
}

TEST(WholeShow, PlaysTheSixScenesInOrderAndEndsWithStatusZeroAt69Seconds) {
    const ShowRun& run = plainRun();
    ASSERT_EQ(run.status, 0) << run.log;
    ASSERT_FALSE(run.frames.empty());
    EXPECT_EQ(sceneOrder(run.frames), (std::vector<int>{1, 2, 6, 3, 5, 4}));
    // One frame per tenth of a second from the show's start up to the last before 69 s.
    EXPECT_THAT(run.frames.back().t, ::testing::AllOf(::testing::Gt(68.8), ::testing::Lt(69.0)));
    EXPECT_NEAR(static_cast<double>(run.frames.size()), 690.0, 2.0);
    for (const Span& span : kSchedule) {
        int inside = 0;
        for (const Frame& f : run.frames) {
            if (f.t > span.from && f.t <= span.to) {
                EXPECT_EQ(f.part, span.part) << "at t = " << f.t;
                ++inside;
            }
        }
        EXPECT_GT(inside, static_cast<int>((span.to - span.from) * 10.0) - 2) << span.from << " to " << span.to;
    }
}

TEST(WholeShow, FlashesFollowRowsThatAreMultiplesOfSix) {
    const ShowRun& run = plainRun();
    ASSERT_EQ(run.status, 0);
    double lastBeat = -1.0;
    int beats = 0;
    for (const Frame& f : run.frames) {
        if (f.row % 6 == 0) {
            lastBeat = f.t;
            ++beats;
            // The flash clock restarts just before the flash is read.
            EXPECT_NEAR(f.flash, 0.5, 0.001) << "at t = " << f.t << " row " << f.row;
        } else if (lastBeat < 0.0 || f.t - lastBeat > 0.5) {
            EXPECT_EQ(f.flash, 0.0) << "at t = " << f.t << " row " << f.row;
        } else {
            EXPECT_NEAR(f.flash, std::max(0.0, 0.5 - (f.t - lastBeat)), 0.002) << "at t = " << f.t;
        }
    }
    // The song plays: rows move on and reach beats many times.
    EXPECT_GT(beats, 20);
    EXPECT_GT(run.frames.back().order, 0);
}

// The caption strip starts at 0, changes only in the last scene, only on
// frames whose song row is not a multiple of 6, and then by one (wrapping
// after the twelfth); over nine seconds it does step.
TEST(WholeShow, CaptionsStepOnlyOffTheBeatRowsOfTheLastScene) {
    const ShowRun& run = plainRun();
    ASSERT_EQ(run.status, 0);
    int previous = 0;
    int steps = 0;
    for (const Frame& f : run.frames) {
        if (f.caption != previous) {
            EXPECT_EQ(f.part, 4) << "at t = " << f.t;
            EXPECT_NE(f.row % 6, 0) << "at t = " << f.t << " row " << f.row;
            EXPECT_EQ(f.caption, (previous + 1) % 12) << "at t = " << f.t;
            ++steps;
        }
        previous = f.caption;
    }
    EXPECT_GT(steps, 5);
}

TEST(WholeShow, StartUpLogsItsStepsInOrder) {
    const ShowRun& run = plainRun();
    // The tunnel's five pools of 1,080 vertices, the sculpture's pool, the
    // blob scene's spheres and blobs, the particle pool, the render targets
    // T1 to T6 (layer targets 2 to 7), the cloth's pools and mesh M2.
    std::vector<std::string> steps(5, "total bytesize = 38880");
    steps.insert(steps.end(), {
                                  "total bytesize = 18000000",
                                  "generating alcastone",
                                  "generating alcastone",
                                  "total bytesize = 5400000",
                                  "total bytesize = 36000",
                                  "target 2 har xres = 160 och yres = 120!",
                                  "target 4 har xres = 160 och yres = 120!",
                                  "target 5 har xres = 512 och yres = 256!",
                                  "target 7 har xres = 512 och yres = 256!",
                                  "total bytesize = 24336",
                                  "creating indexbuffer 0, nr indexes for this = 3750",
                                  "generating alcastone",
                                  "total bytesize = 75240",
                              });
    std::size_t at = 0;
    for (const std::string& step : steps) {
        const std::size_t found = run.log.find(step + "\n", at);
        ASSERT_NE(found, std::string::npos) << "\"" << step << "\" missing after offset " << at;
        at = found + step.size();
    }
    EXPECT_EQ(run.log.rfind("entering main\n", 0), 0u);
}

TEST(WholeShow, SpaceChangesTheSceneOnlyWhereNoRuleHolds) {
    // Pressed during scene 2 and between 55 and 60 s.
    const ShowRun run = runShow("RIZA3V_PROBE_SPACE=15,56");
    ASSERT_EQ(run.status, 0) << run.log;
    EXPECT_NE(run.log.find("part = 3\n"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("part = 6\n"), std::string::npos) << run.log;
    bool sawSixLate = false;
    for (const Frame& f : run.frames) {
        if (f.t > 15.0 && f.t < 16.0) {
            EXPECT_EQ(f.part, 2) << "the time rule wins during scene 2, at t = " << f.t;
        }
        if (f.t > 56.15 && f.t < 60.0) {
            EXPECT_EQ(f.part, 6) << "at t = " << f.t;
            sawSixLate = true;
        }
        if (f.t > 60.0) {
            EXPECT_EQ(f.part, 4) << "at t = " << f.t;
        }
    }
    EXPECT_TRUE(sawSixLate);
}

TEST(WholeShow, EscapeEndsWithStatusOneAndTheQuitLine) {
    const ShowRun run = runShow("RIZA3V_PROBE_ESCAPE=5");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.log.find("quit exception catched\n"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("d3d exception catched"), std::string::npos);
    ASSERT_FALSE(run.frames.empty());
    EXPECT_THAT(run.frames.back().t, ::testing::AllOf(::testing::Ge(5.0), ::testing::Lt(5.3)));
}

// Escape pressed during start-up waits in the window's queue: the show
// builds everything, its frame loop handles the key message, and it ends
// with status 1 and the quit line before the first second is out.
TEST(WholeShow, EscapeDuringStartUpQuitsInTheFirstFrames) {
    const ShowRun run = runShow("RIZA3V_PROBE_ESCAPE=startup");
    EXPECT_EQ(run.status, 1) << run.log;
    EXPECT_NE(run.log.find("total bytesize = 75240\n"), std::string::npos) << "mesh M2, start-up's last pool";
    EXPECT_NE(run.log.find("quit exception catched\n"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("d3d exception catched"), std::string::npos);
    EXPECT_LT(run.frames.size(), 5u);
}

// At 60 frames a second a song row lasts several frames. On every frame of a
// row that is a multiple of 6 the pulse clock that has run longer restarts,
// so the restarts alternate from frame to frame: the restarted clock's fade
// is 0.5, the other's is a frame older.
TEST(WholeShow, PulseRestartsAlternateWhileABeatRowLasts) {
    const ShowRun run = runShow("RIZA3V_PROBE_FPS=60 RIZA3V_PROBE_ESCAPE=4");
    ASSERT_EQ(run.status, 1) << run.log;
    int alternations = 0;
    for (std::size_t i = 1; i < run.frames.size(); ++i) {
        const Frame& before = run.frames[i - 1];
        const Frame& f = run.frames[i];
        if (f.row % 6 != 0) {
            continue;
        }
        const bool restartedA = f.fadeA > 0.499;
        EXPECT_NE(restartedA, f.fadeB > 0.499) << "one pulse clock restarts, at t = " << f.t;
        if (before.row == f.row && before.order == f.order) {
            const bool beforeA = before.fadeA > 0.499;
            EXPECT_NE(restartedA, beforeA) << "at t = " << f.t;
            const double other = restartedA ? f.fadeB : f.fadeA;
            EXPECT_NEAR(other, 0.5 - (f.t - before.t), 0.002) << "at t = " << f.t;
            ++alternations;
        }
    }
    EXPECT_GT(alternations, 10);
}

TEST(WholeShow, AMissingShaderFileEndsStartUpWithTheErrorRecord) {
    char folder[] = "/tmp/riza3v-shaders-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const std::string copy = "mkdir -p '" + dir + "/shaders' && cp '" + tests::support::buildPath("shaders") + "'/* '" +
                             dir + "/shaders/' && rm '" + dir + "/shaders/vshader_mojs.vhl'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    const ShowRun run = runShow("", dir);
    std::system(("rm -rf '" + dir + "'").c_str());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.frames.empty());
    EXPECT_NE(run.log.find("d3d exception catched\nFile: dxdevice\nLine: 442\nMessage: auto throw(d3d)\n"),
              std::string::npos)
        << run.log;
}

TEST(WholeShow, TwoRunsGiveTheSameFrames) {
    const auto fields = [](const ShowRun& run) {
        std::vector<std::tuple<double, int, double, int, int>> out;
        for (const Frame& f : run.frames) {
            out.emplace_back(f.t, f.part, f.flash, f.order, f.row);
        }
        return out;
    };
    EXPECT_EQ(fields(plainRun()), fields(runShow("")));
}

} // namespace
