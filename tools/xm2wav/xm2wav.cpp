// Renders an XM file through the show's player and mixer into a 16-bit
// stereo WAV file at 44,100 Hz.
//
// Usage: xm2wav <input.xm> <output.wav> [seconds, default 69]

#include "music/mixer.h"
#include "music/render.h"
#include "music/xmloader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int kRate = 44100;

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// RIFF WAVE: "RIFF", size, "WAVE", a 16-byte PCM "fmt " chunk, then "data".
std::vector<std::uint8_t> wavHeader(std::uint32_t dataBytes) {
    std::vector<std::uint8_t> h;
    for (char c : {'R', 'I', 'F', 'F'}) {
        h.push_back(static_cast<std::uint8_t>(c));
    }
    put32(h, 36 + dataBytes);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) {
        h.push_back(static_cast<std::uint8_t>(c));
    }
    put32(h, 16);
    put16(h, 1); // PCM
    put16(h, 2);
    put32(h, kRate);
    put32(h, kRate * 4);
    put16(h, 4);
    put16(h, 16);
    for (char c : {'d', 'a', 't', 'a'}) {
        h.push_back(static_cast<std::uint8_t>(c));
    }
    put32(h, dataBytes);
    return h;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: xm2wav <input.xm> <output.wav> [seconds]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> song((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "xm2wav: cannot read %s\n", argv[1]);
        return 1;
    }
    const double seconds = argc == 4 ? std::atof(argv[3]) : 69.0;
    if (!(seconds > 0.0 && seconds < 3600.0)) {
        std::fprintf(stderr, "xm2wav: seconds must lie between 0 and 3600\n");
        return 2;
    }
    music::useMemorySource(song.data(), song.size());
    music::Module* module = music::loadModule();
    if (module == nullptr) {
        std::fprintf(stderr, "xm2wav: %s is not a module this player loads\n", argv[1]);
        return 1;
    }
    music::prepareRender(module, kRate);
    const int frames = static_cast<int>(seconds * kRate);
    std::vector<float> mix(static_cast<std::size_t>(frames) * 2, 0.0f);
    music::renderFrames(module, mix.data(), frames);
    std::vector<std::int16_t> pcm(mix.size());
    music::convertToPcm16(pcm.data(), mix.data(), frames);
    music::freeModule(module);

    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
    std::vector<std::uint8_t> out = wavHeader(dataBytes);
    for (std::int16_t v : pcm) {
        put16(out, static_cast<std::uint16_t>(v));
    }
    std::FILE* f = std::fopen(argv[2], "wb");
    if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "xm2wav: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
