// One step of the cloth of scene 1 (25 x 25 lattice, wind (0, 0, 600)),
// from the flat sheet and from the sheet after a given number of steps; the
// face test as chosen for this processor, and four groups at a time beside it.
#include "effects/particlefield.h"

#include <benchmark/benchmark.h>

namespace {

void stepCloth(benchmark::State& state, bool wide) {
    const bool saved = effects::faceTestWide;
    effects::faceTestWide = wide && saved;
    particleField field(nullptr);
    field.wind = {0.0f, 0.0f, 600.0f};
    field.buildLattice(25);
    for (int s = 0; s < state.range(0); ++s) {
        field.step();
    }
    for (auto _ : state) {
        field.step();
        benchmark::DoNotOptimize(field.particles.data());
    }
    state.SetLabel(effects::faceTestWide ? "eight lanes" : "four lanes");
    effects::faceTestWide = saved;
}

void clothStep(benchmark::State& state) {
    stepCloth(state, true);
}
void clothStepFourLanes(benchmark::State& state) {
    stepCloth(state, false);
}

BENCHMARK(clothStep)->Arg(0)->Arg(600)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(clothStepFourLanes)->Arg(0)->Arg(600)->Arg(3000)->Unit(benchmark::kMicrosecond);

} // namespace
