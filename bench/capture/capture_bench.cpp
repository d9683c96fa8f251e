// The capture's per-frame costs after the show has drawn a frame: encoding
// through ffmpeg (H.264 at the tool's settings) and writing a PNG, at the two
// sizes of the whole-show figures. The frames are a moving gradient, so the
// encoder has changing content to compress.
#include "tools/capture/ffmpeg.h"
#include "tools/pngfile/pngfile.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> gradient(int w, int h, int shift) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p =
                &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4];
            p[0] = static_cast<std::uint8_t>(x + shift);
            p[1] = static_cast<std::uint8_t>(y * 2 - shift);
            p[2] = static_cast<std::uint8_t>((x ^ y) + shift * 3);
            p[3] = 0xFF;
        }
    }
    return rgba;
}

void encodeFrames(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const std::string ffmpeg = capture::findInPath("ffmpeg");
    if (ffmpeg.empty()) {
        state.SkipWithError("ffmpeg is not installed");
        return;
    }
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < 8; ++i) {
        frames.push_back(gradient(w, h, i * 4));
    }
    const std::string path = "/tmp/capture_bench.mp4";
    capture::VideoEncoder encoder;
    std::string why;
    if (!encoder.start(ffmpeg, path, w, h, 60, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        encoder.write(frames[i++ % frames.size()].data(), frames[0].size());
    }
    encoder.finish(); // the frames still in ffmpeg's pipeline count too
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(encodeFrames)->Args({640, 360})->Args({1280, 720})->Unit(benchmark::kMillisecond)->Iterations(240);

void writePngFrames(benchmark::State& state) {
    const auto w = static_cast<std::uint32_t>(state.range(0));
    const auto h = static_cast<std::uint32_t>(state.range(1));
    const std::vector<std::uint8_t> frame = gradient(static_cast<int>(w), static_cast<int>(h), 5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pngfile::writePng("/tmp/capture_bench.png", w, h, 4, frame.data()));
    }
    std::remove("/tmp/capture_bench.png");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(writePngFrames)->Args({640, 360})->Args({1280, 720})->Unit(benchmark::kMillisecond);

} // namespace
