// Rendering the embedded song for the show's 69 seconds at 44,100 Hz: this
// player and mixer, and libopenmpt on the same file. The "realtime" counter
// is seconds of song rendered per second of processor time, that is the
// multiple of real time.

#include "music/mixer.h"
#include "music/render.h"
#include "music/xmloader.h"
#include "resources/song/song.h"

#include <benchmark/benchmark.h>
#include <libopenmpt/libopenmpt.h>

#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 69.0;
constexpr int kBlock = 884; // the output's block

void renderWithPlayer(benchmark::State& state) {
    music::useMemorySource(resources::kSongModule, resources::kSongModuleSize);
    music::Module* m = music::loadModule();
    if (m == nullptr) {
        state.SkipWithError("the song did not load");
        return;
    }
    const int frames = static_cast<int>(kSeconds * kRate);
    std::vector<float> mix(2 * kBlock);
    std::vector<std::int16_t> pcm(2 * kBlock);
    for (auto _ : state) {
        music::prepareRender(m, kRate);
        for (int done = 0; done < frames; done += kBlock) {
            std::fill(mix.begin(), mix.end(), 0.0f);
            music::renderFrames(m, mix.data(), kBlock);
            music::convertToPcm16(pcm.data(), mix.data(), kBlock);
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["realtime"] = benchmark::Counter(kSeconds * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    music::freeModule(m);
}

void renderWithOpenmpt(benchmark::State& state) {
    openmpt_module* mod = openmpt_module_create_from_memory2(resources::kSongModule, resources::kSongModuleSize,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                             nullptr);
    if (mod == nullptr) {
        state.SkipWithError("libopenmpt did not load the song");
        return;
    }
    const int frames = static_cast<int>(kSeconds * kRate);
    std::vector<std::int16_t> pcm(2 * kBlock);
    for (auto _ : state) {
        openmpt_module_set_position_seconds(mod, 0.0);
        for (int done = 0; done < frames; done += kBlock) {
            openmpt_module_read_interleaved_stereo(mod, kRate, kBlock, pcm.data());
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["realtime"] = benchmark::Counter(kSeconds * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    openmpt_module_destroy(mod);
}

} // namespace

BENCHMARK(renderWithPlayer)->Name("song69s/player")->Unit(benchmark::kMillisecond);
BENCHMARK(renderWithOpenmpt)->Name("song69s/libopenmpt")->Unit(benchmark::kMillisecond);
