#include "tools/capture/options.h"

#include <algorithm>
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
        if (name == "--help" || name == "-h") {
            options.help = true;
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
    return true;
}

bool isSoftwareRenderer(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
        if (renderer.find(name) != std::string::npos) {
            return true;
        }
    }
    return renderer.empty();
}

bool applyRendererDefaults(Options& options, const std::string& renderer) {
    const bool software = isSoftwareRenderer(renderer);
    const bool decided = options.width == 0 || options.height == 0 || options.fps == 0;
    // The nearest even size.
    auto even = [](double v) { return static_cast<int>(std::clamp(2 * std::lround(v / 2.0), 16L, 8192L)); };
    if (options.width == 0 && options.height == 0) {
        options.width = software ? 640 : 1920;
        options.height = software ? 360 : 1080;
    } else if (options.width == 0) {
        options.width = even(options.height * 16.0 / 9.0);
    } else if (options.height == 0) {
        options.height = even(options.width * 9.0 / 16.0);
    }
    if (options.fps == 0) {
        options.fps = software ? 30 : 60;
    }
    return software && decided;
}

bool checkRange(const Options& options, std::string& error) {
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
