// The capture tool's command line.
#pragma once

#include <string>

namespace capture {

// The show's length: its timeline ends the process at 69 s.
inline constexpr double kShowSeconds = 69.0;

struct Options {
    std::string outDir = "out";
    int width = 1280;
    int height = 720;
    int fps = 60;
    double from = 0.0;
    double to = kShowSeconds;
    bool png = false;
    bool noVideo = false;
    bool hashes = false;
    bool timings = false;
};

inline constexpr const char* kUsage =
    "usage: riza3v-capture [--out DIR] [--width W] [--height H] [--fps N] [--from S] [--to S]\n"
    "                      [--png] [--no-video] [--hashes] [--timings]\n"
    "  --out DIR     folder for riza3v.wav, riza3v.mp4 and frames/ (default out)\n"
    "  --width W, --height H\n"
    "                frame size, even, 16 to 8192 (default 1280 x 720)\n"
    "  --fps N       frames per second of show time, 1 to 99 (default 60)\n"
    "  --from S, --to S\n"
    "                keep the frames from S to S seconds of show time (default 0 to 69)\n"
    "  --png         also write frames/00000.png onwards\n"
    "  --no-video    write no MP4 (ffmpeg is not needed then)\n"
    "  --hashes      print one line per frame on standard output: its number and a hash of its pixels\n"
    "  --timings     end with one line saying how the wall time divided between drawing the show,\n"
    "                reading frames back and encoding them (each frame then waits for its drawing)\n";

// Reads argv[1..argc-1] into options. On a bad argument returns false with a
// one-line reason in `error`.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// First and one-past-last frame of the kept range on the grid of 1/fps s:
// frame n shows show time n / fps.
long firstFrame(const Options& options);
long endFrame(const Options& options);

} // namespace capture
