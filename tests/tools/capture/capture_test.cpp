// riza3v-capture run as a process: on the real show for a short capture, and
// on the probe show (capture_probe.cpp), whose frames carry their own show
// time and song row, for the time grid, the sound's place and the ways out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include "app/timeline.h"
#include "resources/song/song.h"
#include "tests/support/paths.h"
#include "tests/support/png.h"
#include "tests/support/process.h"
#include "tools/capture/storyboard.h"
#include "tools/wavfile/wavfile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using ::testing::HasSubstr;

using tests::support::fileText;
using tests::support::Outcome;

// Runs `command` with sh from the build folder (the show reads shaders/ there;
// CAPTURE_TOOL and CAPTURE_PROBE are relative to it).
Outcome run(const std::string& command) {
    return tests::support::runShell("cd '" + tests::support::buildPath("") + "' && " + command);
}

// Runs the probe show after `prefix` (variables, a ulimit), writing into `out`
// at 160 x 120 and 30 fps.
Outcome probe(const std::string& prefix, const std::string& out, const std::string& args) {
    return run(prefix + " '" CAPTURE_PROBE "' --out '" + out + "' --width 160 --height 120 --fps 30 " + args);
}

std::string freshFolder(const std::string& name) {
    const fs::path p = fs::path(testing::TempDir()) / ("capture_" + name);
    fs::remove_all(p);
    return p.string();
}

// Frame `i` of a capture's frames folder; an empty picture after the last.
tests::support::PngPicture frameAt(const fs::path& folder, long i) {
    char name[16];
    std::snprintf(name, sizeof name, "%05ld.png", i);
    return tests::support::readPng((folder / name).string(), 4);
}

std::size_t pngCount(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        n += e.path().extension() == ".png" ? 1 : 0;
    }
    return n;
}

const std::string kShort = " --width 160 --height 120 --fps 30 --to 2";

TEST(CaptureShow, ShortCaptureIsRepeatableWithTheRightFramesAndStreams) {
    const std::string a = freshFolder("a");
    const std::string b = freshFolder("b");
    const Outcome first = run("'" CAPTURE_TOOL "' --png --hashes --out '" + a + "'" + kShort);
    const Outcome second = run("'" CAPTURE_TOOL "' --png --hashes --out '" + b + "'" + kShort);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(first.out, second.out);
    EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 60); // 2 s x 30 fps
    EXPECT_EQ(first.out.rfind("00000 ", 0), 0u);
    EXPECT_THAT(first.out, HasSubstr("\n00059 "));
    EXPECT_EQ(fileText(fs::path(a) / "riza3v.wav"), fileText(fs::path(b) / "riza3v.wav"));
    ASSERT_EQ(pngCount(fs::path(a) / "frames"), 60u);
    for (const char* frame : {"00000.png", "00031.png", "00059.png"}) {
        EXPECT_EQ(fileText(fs::path(a) / "frames" / frame), fileText(fs::path(b) / "frames" / frame)) << frame;
    }
    // 2 s of 16-bit stereo at 44,100 Hz after the 44-byte header, silent for
    // the 0.1 s the song clock waits before it plays (start-up takes no virtual time).
    const std::string wav = fileText(fs::path(a) / "riza3v.wav");
    EXPECT_EQ(wav.size(), 44u + 2u * 44100u * 4u);
    const auto silent = std::find_if(wav.begin() + 44, wav.end(), [](char c) { return c != 0; }) - wav.begin() - 44;
    EXPECT_NEAR(static_cast<double>(silent / 4) / 44100.0, 0.1, 0.001);
    EXPECT_THAT(first.err, HasSubstr("wrote 60 frames"));
    EXPECT_THAT(first.err, HasSubstr(a + "/riza3v.mp4"));
    // The show's debug log goes to its file; the terminal keeps the capture's own lines.
    EXPECT_NE(fileText(fs::path(a) / "riza3v.log").find("entering main\n"), std::string::npos);
    std::istringstream terminal(first.err);
    for (std::string line; std::getline(terminal, line);) {
        EXPECT_EQ(line.rfind("riza3v-capture: ", 0), 0u) << line;
    }

    if (run("command -v ffprobe").status != 0) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    const Outcome streams =
        run("ffprobe -v error -show_entries stream=codec_type,duration,nb_frames,width,height,pix_fmt -of csv=p=0 '" +
            a + "/riza3v.mp4'");
    ASSERT_EQ(streams.status, 0) << streams.err;
    EXPECT_THAT(streams.out, HasSubstr("video,160,120,yuv420p,2.000000,60\n"));
    EXPECT_THAT(streams.out, HasSubstr("audio,2.0"));
    EXPECT_EQ(std::count(streams.out.begin(), streams.out.end(), '\n'), 2) << streams.out;
}

// Without a size the renderer decides: on Mesa's software renderer 640 x 360
// at 30 fps, said in one line with the command for 1280 x 720 at 60.
TEST(CaptureShow, TheRendererPicksTheSizeLeftOpen) {
    const std::string out = freshFolder("defaults");
    const Outcome r = run("'" CAPTURE_TOOL "' --no-video --to 0.5 --out '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    if (r.err.find("software renderer (") != std::string::npos) {
        EXPECT_THAT(r.err, HasSubstr("wrote 15 frames of 640x360 at 30 fps"));
        EXPECT_THAT(r.err, HasSubstr(" --no-video --to 0.5 --out " + out + " --width 1280 --height 720 --fps 60\n"));
    } else {
        EXPECT_THAT(r.err, HasSubstr("wrote 30 frames of 1920x1080 at 60 fps"));
    }
}

// The whole show at 2 frames a second: each panel is the frame captured at
// the middle of its scene, and the waveform's loud and quiet stretches are
// the WAV's.
TEST(CaptureShow, TheStoryboardShowsEachSceneOverTheSong) {
    const std::string out = freshFolder("storyboard");
    const Outcome r = run("'" CAPTURE_TOOL "' --png --no-video --out '" + out + "' --width 64 --height 36 --fps 2");
    ASSERT_EQ(r.status, 0) << r.err;
    const tests::support::PngPicture board = tests::support::readPng(out + "/riza3v-storyboard.png", 4);
    ASSERT_EQ(board.width, static_cast<std::uint32_t>(capture::kBoardWidth));
    ASSERT_EQ(board.height, static_cast<std::uint32_t>(capture::kBoardHeight));
    auto boardAt = [&](int x, int y) { return board.at(x, y) >> 8; };
    const auto spans = app::scenesInPlayOrder();
    const int playOrder[6] = {1, 2, 6, 3, 5, 4};
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(spans[static_cast<std::size_t>(i)].part, playOrder[i]);
        // The frame nearest the middle of the scene; each frame pixel covers 6 x 6 panel pixels.
        const long frame =
            std::lround((spans[static_cast<std::size_t>(i)].from + spans[static_cast<std::size_t>(i)].to));
        const tests::support::PngPicture px = frameAt(fs::path(out) / "frames", frame);
        ASSERT_EQ(px.bytes.size(), 64u * 36u * 4u) << frame;
        int wrong = 0;
        for (int y = 0; y < capture::kPanelHeight; ++y) {
            for (int x = 0; x < capture::kPanelWidth; ++x) {
                const std::uint32_t expected = px.at(x / 6, y / 6) >> 8;
                wrong += boardAt(capture::panelLeft(i) + x, capture::panelTop(i) + y) != expected ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0) << "scene " << playOrder[i] << " against frame " << frame;
    }

    wavfile::Sound sound;
    std::string why;
    ASSERT_TRUE(wavfile::readWav(out + "/riza3v.wav", sound, why)) << why;
    ASSERT_EQ(sound.samples.size(), 69u * 44100u * 2u);
    const int middle = capture::kWaveTop + capture::kWaveHeight / 2;
    int quiet = 0;
    int loud = 0;
    int off = 0;
    for (int c = 0; c < capture::kWaveWidth; ++c) {
        int peak = 0;
        for (std::size_t i = static_cast<std::size_t>(c) * 69 * 44100 / capture::kWaveWidth * 2;
             i < static_cast<std::size_t>(c + 1) * 69 * 44100 / capture::kWaveWidth * 2; ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(sound.samples[i])));
        }
        int half = -1;
        while (half + 1 < capture::kWaveHeight / 2 &&
               boardAt(capture::kWaveLeft + c, middle - half - 1) == capture::kWaveColour) {
            ++half;
        }
        off += std::abs(half - peak * 69 / 32768) > 1 ? 1 : 0;
        quiet += peak < 1000 ? 1 : 0;
        loud += peak > 4000 ? 1 : 0;
    }
    EXPECT_LE(off, capture::kWaveWidth / 100) << "columns whose height is not the WAV's peak there";
    EXPECT_GE(quiet, 1) << "the song starts 0.1 s in";
    EXPECT_GE(loud, capture::kWaveWidth / 2);
    int beats = 0;
    for (int x = capture::kWaveLeft; x < capture::kWaveLeft + capture::kWaveWidth; ++x) {
        beats += boardAt(x, capture::kBeatStripTop + 5) == capture::kBeatColour ? 1 : 0;
    }
    EXPECT_GE(beats, 10);
}

// The probe's frames, read back from their colours.
struct ProbeFrame {
    int ms;  // show time the probe drew the frame at
    int row; // song row it read then
};

std::vector<ProbeFrame> probeFrames(const fs::path& folder) {
    std::vector<ProbeFrame> frames;
    for (long i = 0;; ++i) {
        const std::vector<std::uint8_t> px = frameAt(folder, i).bytes;
        if (px.empty()) {
            return frames;
        }
        frames.push_back({px[0] << 8 | px[1], px[2] - 128});
    }
}

TEST(CaptureProbe, FramesSitOnTheTimeGridAndTheSoundStartsWhereTheSongDid) {
    const std::string out = freshFolder("grid");
    const Outcome r = probe("RIZA3V_PROBE_END=3", out, "--png --no-video --from 0.5 --to 2.5");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<ProbeFrame> frames = probeFrames(fs::path(out) / "frames");
    ASSERT_EQ(frames.size(), 60u); // (2.5 - 0.5) s x 30 fps
    unsigned long long songNs = 0;
    const std::string log = fileText(fs::path(out) / "riza3v.log");
    const std::size_t at = log.find("probe: song started at ");
    ASSERT_NE(at, std::string::npos) << log;
    ASSERT_EQ(std::sscanf(log.c_str() + at, "probe: song started at %llu ns", &songNs), 1);

    openmpt_module* song =
        openmpt_module_create_from_memory2(resources::kSongModule, resources::kSongModuleSize, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(song, nullptr);
    auto rowAt = [&](double songSeconds) {
        openmpt_module_set_position_seconds(song, songSeconds);
        return openmpt_module_get_current_row(song);
    };
    int rowsSeen = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        // Frame i stands for show time 0.5 s + i / 30 s and shows the picture drawn nearest to it.
        const double showMs = 500.0 + static_cast<double>(i) * 1000.0 / 30.0;
        EXPECT_LE(std::abs(frames[i].ms - showMs), 1000.0 / 60.0 + 1.0) << "frame " << i;
        // The row the show read is the one the song plays then: the record of the
        // 20 ms block playing, drawn up to half a frame from the grid time, so
        // near a row change a neighbour within that distance will do.
        const double songSeconds = showMs / 1000.0 - static_cast<double>(songNs) / 1e9;
        const int row = frames[i].row;
        if (songSeconds > 0.05) {
            bool near = false;
            for (double d = -0.06; d <= 0.02; d += 0.005) {
                near = near || row == rowAt(songSeconds + d);
            }
            EXPECT_TRUE(near) << "frame " << i << " row " << row << " song row " << rowAt(songSeconds);
            rowsSeen += row != frames[i > 0 ? i - 1 : i].row ? 1 : 0;
        }
    }
    openmpt_module_destroy(song);
    EXPECT_GT(rowsSeen, 5);

    // The WAV starts at show time 0 whatever --from is, silent until the song starts.
    const std::string wav = fileText(fs::path(out) / "riza3v.wav");
    ASSERT_EQ(wav.size(), 44u + static_cast<std::size_t>(2.5 * 44100) * 4u);
    const std::size_t songFrame = static_cast<std::size_t>(static_cast<double>(songNs) * 44100 / 1e9 + 0.5);
    std::size_t firstSound = 44;
    while (firstSound < wav.size() && wav[firstSound] == 0) {
        ++firstSound;
    }
    EXPECT_GE((firstSound - 44) / 4, songFrame);
    EXPECT_LT((firstSound - 44) / 4, songFrame + 44100 / 10) << "sound within 0.1 s of the song's start";
}

TEST(CaptureProbe, TheShowsOwnExitEndsTheCaptureAtItsTime) {
    const std::string out = freshFolder("exit");
    const Outcome r = probe("RIZA3V_PROBE_END=1", out, "--png --no-video");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngCount(fs::path(out) / "frames"), 30u);
    EXPECT_EQ(fs::file_size(fs::path(out) / "riza3v.wav"), 44u + 44100u * 4u);
    EXPECT_THAT(r.err, HasSubstr("wrote 30 frames"));
}

// --timings ends with one line dividing the wall time; the parts are measured
// apart, so they add up to the whole.
TEST(CaptureProbe, TimingsDivideTheWallTimeIntoItsParts) {
    auto splitOf = [](const std::string& err) {
        // wall, fps, render, start-up, GPU wait, read-back, encode, other
        std::array<double, 8> s{-1, -1, -1, -1, -1, -1, -1, -1};
        long frames = 0;
        const std::size_t at = err.find("riza3v-capture: timings: ");
        if (at == std::string::npos ||
            std::sscanf(err.c_str() + at,
                        "riza3v-capture: timings: wall %lf s for %ld frames (%lf fps); render %lf s (start-up %lf "
                        "s, waiting for the GPU %lf s), read-back %lf s, encode %lf s, other %lf s",
                        &s[0], &frames, &s[1], &s[2], &s[3], &s[4], &s[5], &s[6], &s[7]) != 9 ||
            frames != 30) {
            s.fill(-1);
        }
        return s;
    };
    const std::string args =
        " --out '" + freshFolder("timings") + "' --width 160 --height 120 --fps 30 --from 0.5 --to 1.5";
    const Outcome png = run("RIZA3V_PROBE_END=3 '" CAPTURE_PROBE "' --png --no-video --timings" + args);
    const std::array<double, 8> s = splitOf(png.err);
    EXPECT_GE(*std::min_element(s.begin(), s.end()), 0.0) << png.err;
    // The tool divides one measured wall time into parts, so they add up to
    // it exactly before printing; printed to the millisecond, each of the
    // five values is off by up to half of one, and the sum by up to 2.5 ms.
    // Start-up and the GPU wait are parts of render: three printed values.
    EXPECT_NEAR(s[2] + s[5] + s[6] + s[7], s[0], 0.0025) << png.err;
    EXPECT_LE(s[3] + s[4], s[2] + 0.0015) << png.err;
    EXPECT_GT(s[5], 0.0) << png.err;
    EXPECT_GT(s[6], 0.0) << "30 PNG files take time: " << png.err;
    // Nothing to encode: no time goes there. Without the flag, no line (here with a video).
    const Outcome soundOnly = run("RIZA3V_PROBE_END=3 '" CAPTURE_PROBE "' --no-video --timings" + args);
    EXPECT_NEAR(splitOf(soundOnly.err)[6], 0.0, 0.0005) << soundOnly.err;
    const Outcome plain = run("RIZA3V_PROBE_END=3 '" CAPTURE_PROBE "'" + args);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err.find("riza3v-capture: timings:"), std::string::npos) << plain.err;
}

TEST(CaptureErrors, BadArgumentsShowTheUsageWithStatusTwo) {
    const std::vector<std::string> cases = {"--width", "--width abc", "--width 161",     "--height 8",
                                            "--fps 0", "--fps 100",   "--from 2 --to 1", "--to -1",
                                            "--bogus", "--out",       "--from 3 --to 3", "extra"};
    for (const std::string& args : cases) {
        const Outcome r = run("'" CAPTURE_TOOL "' --out '" + freshFolder("args") + "' " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_THAT(r.err, HasSubstr("usage: riza3v-capture")) << args;
    }
}

TEST(CaptureErrors, WithoutFfmpegTheSoundAndFramesAreStillWritten) {
    const std::string out = freshFolder("noffmpeg");
    const Outcome r = probe("PATH=/nonexistent", out, "--png --to 0.5");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ffmpeg is not installed"));
    EXPECT_EQ(pngCount(fs::path(out) / "frames"), 15u);
    EXPECT_EQ(fs::file_size(fs::path(out) / "riza3v.wav"), 44u + 22050u * 4u);
    EXPECT_FALSE(fs::exists(fs::path(out) / "riza3v.mp4"));
    const Outcome soundOnly = probe("PATH=/nonexistent", out, "--no-video --to 0.5");
    EXPECT_EQ(soundOnly.status, 0) << soundOnly.err;
}

TEST(CaptureErrors, AFolderThatCannotBeMadeIsNamed) {
    const std::string file = freshFolder("plainfile");
    std::ofstream(file) << "not a folder";
    const Outcome r = run("'" CAPTURE_PROBE "' --no-video --out '" + file + "/sub' --to 0.5");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot make the output folder " + file + "/sub"));
}

TEST(CaptureErrors, AFullDiskNamesTheFileAndLeavesNoPartialFiles) {
    // A file-size limit of 64 KiB makes writes fail as a full disk does; the
    // 1 s WAV (176 kB) cannot fit, the first PNG frames can.
    const std::string out = freshFolder("full");
    const Outcome r = probe("ulimit -f 64 &&", out, "--png --no-video --to 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot write " + out + "/riza3v.wav"));
    EXPECT_FALSE(fs::exists(fs::path(out) / "riza3v.wav"));
    EXPECT_FALSE(fs::exists(fs::path(out) / "frames")) << "the frames folder this run made goes too";
}

TEST(CaptureErrors, AFailingShowGivesItsRecordAndStatusOne) {
    const std::string out = freshFolder("failing");
    const Outcome r = probe("RIZA3V_PROBE=fail", out, "--png --no-video --to 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("File: probe\nLine: 7\nMessage: probe failure\n"));
    EXPECT_THAT(r.err, HasSubstr("the show ended with status 1"));
    // The log's last lines, among them the probe's last line before it
    // failed, then the record, shown once.
    const std::size_t tail = r.err.find("the last lines of " + out + "/riza3v.log:\n");
    const std::size_t probeLine = r.err.find("\n  probe: song started at ");
    EXPECT_LT(tail, probeLine) << r.err;
    EXPECT_LT(probeLine, r.err.find("its error record:\nFile: probe\n")) << r.err;
    EXPECT_EQ(r.err.find("File: probe"), r.err.rfind("File: probe")) << r.err;
    EXPECT_FALSE(fs::exists(fs::path(out) / "riza3v.wav"));
    EXPECT_TRUE(fs::exists(fs::path(out) / "riza3v.log"));
}

// Started elsewhere, the tool runs the show from the build tree it belongs
// to, and writes where it was asked relative to where it was started; a copy
// of it far from any shaders/ says where it looked and where to run it from.
TEST(CaptureErrors, TheShowFolderIsFoundOrNamed) {
    const fs::path elsewhere = freshFolder("elsewhere");
    fs::create_directories(elsewhere);
    const Outcome found = run("cd '" + elsewhere.string() + "' && '" + tests::support::buildPath(CAPTURE_PROBE) +
                              "' --no-video --out here --width 160 --height 120 --fps 30 --to 0.5");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_TRUE(fs::exists(elsewhere / "here" / "riza3v.wav")) << found.err;

    fs::copy_file(tests::support::buildPath(CAPTURE_PROBE), elsewhere / "capture_probe");
    const Outcome lost = run("cd '" + elsewhere.string() + "' && ./capture_probe --no-video --to 0.5");
    EXPECT_EQ(lost.status, 1);
    EXPECT_THAT(lost.err,
                HasSubstr("looked in " + elsewhere.string() + "/shaders and shaders/ in " + elsewhere.string()));
    EXPECT_THAT(lost.err, HasSubstr("run it from the repository top or from the build folder"));
    EXPECT_FALSE(fs::exists(elsewhere / "out"));
}

} // namespace
