// Start-up cost of the procedural textures: the five embedded programs, each
// alone and all together, and the heaviest operations they use.

#include "resources/texprograms/texprograms.h"
#include "texgen/convolution.h"
#include "texgen/generators.h"
#include "texgen/noise.h"
#include "texgen/program.h"
#include "texgen/sampling.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void allFivePrograms(benchmark::State& state) {
    std::vector<std::uint8_t> pixels(1024 * 256);
    for (auto _ : state) {
        for (int n = 1; n <= resources::kTextureProgramCount; ++n) {
            texgen::runTextureProgram(resources::textureProgram(n), pixels.data(), 1024);
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(allFivePrograms)->Unit(benchmark::kMillisecond);

void oneProgram(benchmark::State& state) {
    std::vector<std::uint8_t> pixels(1024 * 256);
    const auto program = resources::textureProgram(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        texgen::runTextureProgram(program, pixels.data(), 1024);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(oneProgram)->DenseRange(1, 5)->Unit(benchmark::kMillisecond);

texgen::Plane plasmaPlane() {
    texgen::Plane p;
    texgen::plasma(p, 166, 1);
    return p;
}

void fractalNoiseOp(benchmark::State& state) {
    texgen::Plane out;
    for (auto _ : state) {
        texgen::fractalNoise(out, 24, 0x55, 1);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(fractalNoiseOp)->Unit(benchmark::kMillisecond);

void cellsOp(benchmark::State& state) {
    texgen::Plane out;
    for (auto _ : state) {
        texgen::cells(out, 219, 3, 23);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(cellsOp)->Unit(benchmark::kMillisecond);

void blurOp(benchmark::State& state) {
    const texgen::Plane source = plasmaPlane();
    texgen::Plane out;
    for (auto _ : state) {
        texgen::blur(out, static_cast<unsigned>(state.range(0)), source, nullptr);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(blurOp)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);

void sharpenOp(benchmark::State& state) {
    const texgen::Plane source = plasmaPlane();
    texgen::Plane out;
    for (auto _ : state) {
        texgen::sharpen(out, 3, source, nullptr);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(sharpenOp)->Unit(benchmark::kMillisecond);

void displaceOp(benchmark::State& state) {
    const texgen::Plane source = plasmaPlane();
    texgen::Plane out;
    for (auto _ : state) {
        texgen::displace(out, 0x99, 158, 107, source, &source, &source);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(displaceOp)->Unit(benchmark::kMillisecond);

void plasmaOp(benchmark::State& state) {
    texgen::Plane out;
    for (auto _ : state) {
        texgen::plasma(out, 166, 1);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(plasmaOp)->Unit(benchmark::kMillisecond);

// The operations whose cost grows with their parameters, at the largest
// parameters a byte allows; no embedded program comes near these.
void worstCaseOp(benchmark::State& state) {
    const texgen::Plane source = plasmaPlane();
    texgen::Plane out;
    for (auto _ : state) {
        switch (state.range(0)) {
        case 0:
            texgen::cells(out, 1, 3, 255);
            break;
        case 1:
            texgen::spots(out, 1, 0, 255, 255);
            break;
        case 2:
            texgen::glows(out, 1, 255, 255);
            break;
        case 3:
            texgen::motionBlur(out, 255, 37, source, nullptr);
            break;
        default:
            texgen::twirl(out, 128, 128, 255, 255, source);
            break;
        }
        benchmark::DoNotOptimize(out.pixels.data());
    }
    static const char* const names[] = {"cells 255 points", "spots 255 x 255", "glows 255 x 255",
                                        "motionBlur length 255", "twirl diameter 255"};
    state.SetLabel(names[state.range(0)]);
}
BENCHMARK(worstCaseOp)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

} // namespace
