// The capture tool's command line.
#pragma once

#include <string>

namespace capture {

// The show's length: its timeline ends the process at 69 s.
inline constexpr double kShowSeconds = 69.0;

// A size or rate of 0 is left to the renderer (applyRendererDefaults).
struct Options {
    std::string outDir = "out";
    int width = 0;
    int height = 0;
    int fps = 0;
    double from = 0.0;
    double to = kShowSeconds;
    bool png = false;
    bool noVideo = false;
    bool hashes = false;
    bool timings = false;
    bool help = false;
};

inline constexpr const char* kUsage =
    "usage: riza3v-capture [--out DIR] [--width W] [--height H] [--fps N] [--from S] [--to S]\n"
    "                      [--png] [--no-video] [--hashes] [--timings] [--help]\n"
    "  Runs the show without a display and writes into DIR: riza3v.mp4 (through ffmpeg),\n"
    "  riza3v.wav, riza3v-storyboard.png (a frame of each scene over the song's waveform)\n"
    "  and riza3v.log (the show's debug log). Run it from the repository top or build/.\n"
    "  --out DIR     the output folder (default out)\n"
    "  --width W, --height H\n"
    "                frame size, even, 16 to 8192 (default 640 x 360 on a software renderer\n"
    "                such as llvmpipe, 1920 x 1080 on a graphics card; one alone keeps 16:9)\n"
    "  --fps N       frames per second of show time, 1 to 99 (default 30 on a software\n"
    "                renderer, 60 on a graphics card)\n"
    "  --from S, --to S\n"
    "                keep the frames from S to S seconds of show time (default 0 to 69)\n"
    "  --png         also write frames/00000.png onwards\n"
    "  --no-video    write no MP4 (ffmpeg is not needed then)\n"
    "  --hashes      print one line per frame on standard output: its number and a hash of its pixels\n"
    "  --timings     end with one line saying how the wall time divided between drawing the show,\n"
    "                reading frames back and encoding them (each frame then waits for its drawing),\n"
    "                and one line with each scene's cost per frame\n"
    "  --help, -h    this text\n";

// Reads argv[1..argc-1] into options. On a bad argument returns false with a
// one-line reason in `error`.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// True for Mesa's software renderers (llvmpipe, softpipe, swrast), given the
// GL_RENDERER string, and for "" (no renderer found).
bool isSoftwareRenderer(const std::string& renderer);

// Fills the size and rate that the command line left at 0: 640 x 360 at 30
// fps on a software renderer, 1920 x 1080 at 60 on any other. A width given
// alone gets a 16:9 height, and the other way round (even, at least 16).
// Returns true when the software renderer's defaults decided something.
bool applyRendererDefaults(Options& options, const std::string& renderer);

// False with a reason when the kept range holds no frame.
bool checkRange(const Options& options, std::string& error);

// First and one-past-last frame of the kept range on the grid of 1/fps s:
// frame n shows show time n / fps.
long firstFrame(const Options& options);
long endFrame(const Options& options);

} // namespace capture
