// The whole show run as a process in virtual mode (160 x 120, ten frames per
// second of show time), checked frame by frame against the timeline's rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Frame {
    double t;
    int part;
    double flash;
    int order;
    int row;
    int caption;
};

struct ShowRun {
    int status = -1;
    std::vector<Frame> frames;
    std::string log; // everything that is not a frame line
};

ShowRun runShow(const std::string& environment, const std::string& folder = SHOW_FOLDER) {
    const std::string command = "cd '" + folder + "' && " + environment + " timeout 600 '" SHOW_PROBE "' 2>&1";
    ShowRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 512> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe) != nullptr) {
        Frame f{};
        if (std::sscanf(line.data(), "frame %lf %d %lf %d %d %d", &f.t, &f.part, &f.flash, &f.order, &f.row,
                        &f.caption) == 6) {
            run.frames.push_back(f);
        } else {
            run.log += line.data();
        }
    }
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return run;
}

// The timeline's rule, written from its table: strict comparisons, nothing
// from 55 to 60 s.
int expectedPart(int previous, double t) {
    if (t < 10)
        return 1;
    if (t > 10 && t < 23)
        return 2;
    if (t > 23 && t < 33)
        return 6;
    if (t > 33 && t < 50)
        return 3;
    if (t > 50 && t < 55)
        return 5;
    if (t > 60)
        return 4;
    return previous;
}

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
    EXPECT_LT(run.frames.back().t, 69.0);
    EXPECT_GT(run.frames.back().t, 68.8);
    EXPECT_NEAR(static_cast<double>(run.frames.size()), 690.0, 2.0);
    int part = 4;
    for (const Frame& f : run.frames) {
        part = expectedPart(part, f.t);
        EXPECT_EQ(f.part, part) << "at t = " << f.t;
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
    const std::vector<std::string> steps = {
        "total bytesize = 38880",
        "total bytesize = 38880",
        "total bytesize = 38880",
        "total bytesize = 38880",
        "total bytesize = 38880",
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
    };
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
    int part = 4;
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
        part = expectedPart(part, f.t);
    }
    EXPECT_TRUE(sawSixLate);
}

TEST(WholeShow, EscapeEndsWithStatusOneAndTheQuitLine) {
    const ShowRun run = runShow("RIZA3V_PROBE_ESCAPE=5");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.log.find("quit exception catched\n"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("d3d exception catched"), std::string::npos);
    ASSERT_FALSE(run.frames.empty());
    EXPECT_GE(run.frames.back().t, 5.0);
    EXPECT_LT(run.frames.back().t, 5.3);
}

TEST(WholeShow, AMissingShaderFileEndsStartUpWithTheErrorRecord) {
    char folder[] = "/tmp/riza3v-shaders-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const std::string copy = "mkdir -p '" + dir + "/shaders' && cp '" SHOW_FOLDER "'/shaders/* '" + dir +
                             "/shaders/' && rm '" + dir + "/shaders/vshader_mojs.vhl'";
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
    const ShowRun& first = plainRun();
    const ShowRun second = runShow("");
    ASSERT_EQ(first.frames.size(), second.frames.size());
    for (std::size_t i = 0; i < first.frames.size(); ++i) {
        const Frame& a = first.frames[i];
        const Frame& b = second.frames[i];
        EXPECT_TRUE(a.t == b.t && a.part == b.part && a.flash == b.flash && a.order == b.order && a.row == b.row)
            << "frame " << i;
    }
}

} // namespace
