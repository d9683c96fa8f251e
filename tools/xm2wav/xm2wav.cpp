// Renders an XM file through the show's player and mixer into a 16-bit
// stereo WAV file at 44,100 Hz.
//
// Usage: xm2wav <input.xm> <output.wav> [seconds, default 69]; --help or -h
// prints the usage on standard output.
// Any failure (usage, an unreadable input, a module the player refuses, an
// output that cannot be written) is one line on stderr and exit status 1.

#include "music/mixer.h"
#include "music/render.h"
#include "music/xmloader.h"
#include "tools/wavfile/wavfile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;

constexpr const char* kUsage = "usage: xm2wav <input.xm> <output.wav> [seconds]\n"
                               "  renders the module through the show's player and mixer into a 16-bit\n"
                               "  stereo WAV file at 44,100 Hz; seconds from 0 to 3600, default 69\n";

// Every failure is one line on stderr and exit status 1.
int fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
int fail(const char* format, ...) {
    std::fputs("xm2wav: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return 1;
}

// The whole file, or false with errno set.
bool readFile(const char* path, std::vector<char>& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return false;
    }
    char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool ok = std::ferror(f) == 0;
    const int error = errno;
    std::fclose(f);
    errno = error;
    return ok;
}

// Loads the module with the loader's debug log (which goes to stderr) held
// back: on success the log lines (mends of a damaged file) follow, on failure
// only the tool's own line does.
music::Module* loadQuietly() {
    std::fflush(stderr);
    std::FILE* held = std::tmpfile();
    const int saved = held != nullptr ? ::dup(STDERR_FILENO) : -1;
    if (saved < 0 || ::dup2(::fileno(held), STDERR_FILENO) < 0) {
        if (held != nullptr) {
            std::fclose(held);
        }
        return music::loadModule();
    }
    music::Module* module = music::loadModule();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    if (module != nullptr) {
        std::rewind(held);
        char line[1024];
        while (std::fgets(line, sizeof line, held) != nullptr) {
            std::fputs(line, stderr);
        }
    }
    std::fclose(held);
    return module;
}

int run(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 3 || argc > 4) {
        return fail("usage: xm2wav <input.xm> <output.wav> [seconds]");
    }
    std::vector<char> song;
    if (!readFile(argv[1], song)) {
        return fail("cannot read %s: %s", argv[1], std::strerror(errno));
    }
    char* end = nullptr;
    const double seconds = argc == 4 ? std::strtod(argv[3], &end) : 69.0;
    if ((argc == 4 && (end == argv[3] || *end != '\0')) || !(seconds > 0.0 && seconds < 3600.0)) {
        return fail("seconds must be a number above 0 and below 3600, not %s", argv[3]);
    }
    music::useMemorySource(song.data(), song.size());
    music::Module* module = loadQuietly();
    if (module == nullptr) {
        return fail("cannot play %s: %s", argv[1], music::lastLoadRefusal());
    }
    music::prepareRender(module, kRate);
    const int frames = static_cast<int>(seconds * kRate);
    std::vector<float> mix(static_cast<std::size_t>(frames) * 2, 0.0f);
    music::renderFrames(module, mix.data(), frames);
    std::vector<std::int16_t> pcm(mix.size());
    music::convertToPcm16(pcm.data(), mix.data(), frames);
    music::freeModule(module);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(pcm.size() * 2);
    for (std::int16_t v : pcm) {
        const auto u = static_cast<std::uint16_t>(v);
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    wavfile::WavFile out;
    std::string why;
    if (!out.open(argv[2], why) || !out.append(bytes.data(), bytes.size(), why) || !out.finish(kRate, kChannels, why)) {
        return fail("cannot write %s: %s", argv[2], why.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        return fail("%s", e.what());
    }
}
