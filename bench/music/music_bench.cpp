// This player and mixer beside libopenmpt, like for like: the same module,
// the same block size, the same 44,100 Hz 16-bit stereo output.
//
// song69s/*: the embedded song for the show's 69 seconds. The "realtime"
// counter is seconds of song rendered per second of processor time.
//
// compare/*: each iteration renders the same stretch of a module three
// times, one after the other: with this player (linear interpolation), with
// libopenmpt at linear interpolation (filter length 2) and with libopenmpt at
// its default 8-tap windowed sinc. Interleaving them keeps a busy machine
// from favouring one. Counters: rt_* are multiples of real time (processor
// time of this thread); speedup_vs_linear, the like-for-like figure, and
// speedup_vs_8tap are libopenmpt's time divided by ours. The modules are the
// embedded song (6 channels) and a generated 24-channel module with a note
// on every channel, vibrato, volume slides and spread panning.

#include "music/mixer.h"
#include "music/render.h"
#include "music/xmloader.h"
#include "resources/song/song.h"
#include "tools/songgen/xmwriter.h"

#include <benchmark/benchmark.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <ctime>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 69.0;
constexpr int kBlock = 884; // the output's block
constexpr double kCompareSeconds = 20.0;
constexpr int kWideChannels = 24;

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
    state.counters["realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    music::freeModule(m);
}

void renderWithOpenmpt(benchmark::State& state) {
    openmpt_module* mod =
        openmpt_module_create_from_memory2(resources::kSongModule, resources::kSongModuleSize, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
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
    state.counters["realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    openmpt_module_destroy(mod);
}

// A 24-channel module that keeps every channel sounding: looped 8-bit and
// 16-bit samples, a new note on each channel every fourth row, vibrato on a
// third of the channels, volume slides on another third, panning spread
// across the channels.
std::vector<std::uint8_t> wideModule() {
    songgen::Song song;
    song.title = "wide";
    song.channels = kWideChannels;
    song.speed = 6;
    song.bpm = 125;
    for (int kind = 0; kind < 2; ++kind) {
        songgen::Instrument in;
        in.name = kind == 0 ? "saw" : "sine";
        songgen::Sample s;
        s.sixteenBit = kind == 1;
        for (int i = 0; i < 512; ++i) {
            const double v = kind == 0 ? (i % 128) / 64.0 - 1.0 : std::sin(i * 2.0 * M_PI / 512.0);
            s.values.push_back(static_cast<std::int16_t>(v * (s.sixteenBit ? 12000.0 : 100.0)));
        }
        s.loop = songgen::Loop::forward;
        s.loopStart = 0;
        s.loopLength = 512;
        in.samples.push_back(s);
        song.instruments.push_back(in);
    }
    for (int p = 0; p < 4; ++p) {
        songgen::Pattern pattern{64, std::vector<songgen::Cell>(64 * kWideChannels)};
        for (int row = 0; row < 64; ++row) {
            for (int c = 0; c < kWideChannels; ++c) {
                songgen::Cell& cell = pattern.cells[static_cast<std::size_t>(row * kWideChannels + c)];
                if ((row + c) % 4 == 0) {
                    cell.note = static_cast<std::uint8_t>(37 + (c * 5 + row + p * 7) % 36);
                    cell.instrument = static_cast<std::uint8_t>(1 + c % 2);
                    cell.volume = 0x10 + 40;
                }
                if (row == 0) {
                    cell.effect = 0x8;
                    cell.parameter = static_cast<std::uint8_t>(c * 255 / (kWideChannels - 1));
                } else if (c % 3 == 0) {
                    cell.effect = 0x4;
                    cell.parameter = 0x46;
                } else if (c % 3 == 1) {
                    cell.effect = 0xA;
                    cell.parameter = (row + c) % 4 < 2 ? 0x01 : 0x10;
                }
            }
        }
        song.patterns.push_back(pattern);
        song.orders.push_back(static_cast<std::uint8_t>(p));
    }
    return songgen::write(song);
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

openmpt_module* openmptModule(const std::vector<std::uint8_t>& bytes, int filterLength) {
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    if (mod != nullptr) {
        openmpt_module_set_repeat_count(mod, -1); // this player loops too
        openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, filterLength);
    }
    return mod;
}

void renderOpenmpt(openmpt_module* mod, int block, int frames, std::vector<std::int16_t>& pcm) {
    openmpt_module_set_position_seconds(mod, 0.0);
    for (int done = 0; done < frames; done += block) {
        openmpt_module_read_interleaved_stereo(mod, kRate, static_cast<std::size_t>(block), pcm.data());
    }
    benchmark::DoNotOptimize(pcm.data());
}

void compare(benchmark::State& state, bool wide) {
    const std::vector<std::uint8_t> bytes =
        wide ? wideModule()
             : std::vector<std::uint8_t>(resources::kSongModule, resources::kSongModule + resources::kSongModuleSize);
    const int block = static_cast<int>(state.range(0));
    music::useMemorySource(bytes.data(), bytes.size());
    music::Module* ours = music::loadModule();
    openmpt_module* linear = openmptModule(bytes, 2);
    openmpt_module* sinc = openmptModule(bytes, 8);
    if (ours == nullptr || linear == nullptr || sinc == nullptr) {
        state.SkipWithError("a module did not load");
    } else {
        const int frames = static_cast<int>(kCompareSeconds * kRate);
        std::vector<float> mix(2 * static_cast<std::size_t>(block));
        std::vector<std::int16_t> pcm(2 * static_cast<std::size_t>(block));
        double oursTime = 0.0, linearTime = 0.0, sincTime = 0.0;
        for (auto _ : state) {
            const double t0 = threadSeconds();
            music::prepareRender(ours, kRate);
            for (int done = 0; done < frames; done += block) {
                std::fill(mix.begin(), mix.end(), 0.0f);
                music::renderFrames(ours, mix.data(), block);
                music::convertToPcm16(pcm.data(), mix.data(), block);
            }
            benchmark::DoNotOptimize(pcm.data());
            const double t1 = threadSeconds();
            renderOpenmpt(linear, block, frames, pcm);
            const double t2 = threadSeconds();
            renderOpenmpt(sinc, block, frames, pcm);
            const double t3 = threadSeconds();
            oursTime += t1 - t0;
            linearTime += t2 - t1;
            sincTime += t3 - t2;
            state.SetIterationTime(t1 - t0);
        }
        const double rendered = kCompareSeconds * static_cast<double>(state.iterations());
        state.counters["rt_ours"] = rendered / oursTime;
        state.counters["rt_openmpt_linear"] = rendered / linearTime;
        state.counters["rt_openmpt_8tap"] = rendered / sincTime;
        state.counters["speedup_vs_linear"] = linearTime / oursTime;
        state.counters["speedup_vs_8tap"] = sincTime / oursTime;
    }
    music::freeModule(ours);
    if (linear != nullptr) {
        openmpt_module_destroy(linear);
    }
    if (sinc != nullptr) {
        openmpt_module_destroy(sinc);
    }
}

} // namespace

BENCHMARK(renderWithPlayer)->Name("song69s/player")->Unit(benchmark::kMillisecond);
BENCHMARK(renderWithOpenmpt)->Name("song69s/libopenmpt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, song, false)
    ->Name("compare/song6ch/block")
    ->Arg(256)
    ->Arg(884)
    ->Arg(4096)
    ->UseManualTime()
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, wide, true)
    ->Name("compare/wide24ch/block")
    ->Arg(256)
    ->Arg(884)
    ->Arg(4096)
    ->UseManualTime()
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);
