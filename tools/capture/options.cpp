#include "tools/capture/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace capture {
namespace {

bool readInt(const char* text, long low, long high, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

bool readSeconds(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < 0.0) {
        return false;
    }
    value = v;
    return true;
}

} // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--png") {
            options.png = true;
            continue;
        }
        if (name == "--no-video") {
            options.noVideo = true;
            continue;
        }
        if (name == "--hashes") {
            options.hashes = true;
            continue;
        }
        if (name == "--timings") {
            options.timings = true;
            continue;
        }
        const bool takesValue = name == "--out" || name == "--width" || name == "--height" || name == "--fps" ||
                                name == "--from" || name == "--to";
        if (!takesValue) {
            error = "unknown argument " + name;
            return false;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (name == "--out") {
            options.outDir = value;
            ok = !options.outDir.empty();
        } else if (name == "--width") {
            // Even sizes: the video's 4:2:0 chroma covers pixels in pairs.
            ok = readInt(value, 16, 8192, options.width) && options.width % 2 == 0;
        } else if (name == "--height") {
            ok = readInt(value, 16, 8192, options.height) && options.height % 2 == 0;
        } else if (name == "--fps") {
            // The show sleeps 10 ms after every windowed frame, so a frame
            // cannot be shorter than that.
            ok = readInt(value, 1, 99, options.fps);
        } else if (name == "--from") {
            ok = readSeconds(value, options.from);
        } else {
            ok = readSeconds(value, options.to);
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (endFrame(options) <= firstFrame(options)) {
        error = "--to must be later than --from by at least one frame";
        return false;
    }
    return true;
}

long firstFrame(const Options& options) {
    return std::lround(std::ceil(options.from * options.fps - 1e-9));
}

long endFrame(const Options& options) {
    return std::lround(std::ceil(options.to * options.fps - 1e-9));
}

} // namespace capture
