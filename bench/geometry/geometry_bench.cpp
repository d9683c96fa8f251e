// The metaball field's costs on one core: the blob sculpture's start-up build
// (100^3 field, 1,926 signed balls, the central ball, clearBorders, seven
// blurs, buildMesh and the upload), one frame of the blob scene's field
// (40^3 compact: addTubeSet, two blurs, buildMesh with its upload) and the
// marching cubes alone, as cells per second. Targets: under 100 ms for the
// sculpture and under 1 ms for the frame.
#include "effects/blobsculpture.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/effects/headless.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

device* benchDevice() {
    static device* d = effects::test::headlessDevice(64, 64);
    return d;
}

void BM_SculptureBuild(benchmark::State& state) {
    device* d = benchDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    int triangles = 0;
    for (auto _ : state) {
        effects::BlobSculpture sculpture;
        sculpture.buildBlobSculpture(*d);
        triangles = sculpture.sculpture()->meshVertexCount / 3;
        benchmark::DoNotOptimize(triangles);
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_SculptureBuild)->Unit(benchmark::kMillisecond)->MinTime(3.0);

std::unique_ptr<metamecklo> tubeField(device& d) {
    auto m = std::make_unique<metamecklo>(&d, 40, 40, 40, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, true);
    m->setIsoLevel(0.5f);
    platform::crt::srand(1);
    m->initTubeSet();
    return m;
}

// Frames a thirtieth of a second apart from t = 5 s; argument 1 runs the
// plain loops (addTubeSetPlain, blurFieldPlain, buildMeshPlain) for the ratio.
void BM_BlobFrame(benchmark::State& state) {
    device* d = benchDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    const bool plain = state.range(0) != 0;
    auto m = tubeField(*d);
    float t = 5.0f;
    double triangles = 0.0;
    for (auto _ : state) {
        if (plain) {
            m->addTubeSetPlain(t, 0.0f, 0.1f, 1.0f, 1.0f);
            m->blurFieldPlain();
            m->blurFieldPlain();
            triangles += m->buildMeshPlain();
        } else {
            m->addTubeSet(t, 0.0f, 0.1f, 1.0f, 1.0f);
            m->blurField();
            m->blurField();
            triangles += m->buildMesh();
        }
        t += 1.0f / 30.0f;
    }
    state.counters["triangles"] = triangles / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BlobFrame)->ArgName("plain")->DenseRange(0, 1)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The frame's steps apart: 0 addTubeSet, 1 the two blurs, 2 buildMesh
// (polygonise, the pool's fill and upload, the clear). The other steps run
// with the timer paused, so that each step sees the field it sees in a frame.
// The second argument 1 times the plain version of the step.
void BM_BlobFrameStep(benchmark::State& state) {
    device* d = benchDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    const auto step = state.range(0);
    const bool plain = state.range(1) != 0;
    auto m = tubeField(*d);
    float t = 5.0f;
    for (auto _ : state) {
        if (step != 0) {
            state.PauseTiming();
        }
        if (plain) {
            m->addTubeSetPlain(t, 0.0f, 0.1f, 1.0f, 1.0f);
        } else {
            m->addTubeSet(t, 0.0f, 0.1f, 1.0f, 1.0f);
        }
        if (step == 0) {
            state.PauseTiming();
        } else if (step == 1) {
            state.ResumeTiming();
        }
        if (plain) {
            m->blurFieldPlain();
            m->blurFieldPlain();
        } else {
            m->blurField();
            m->blurField();
        }
        if (step == 1) {
            state.PauseTiming();
        } else if (step == 2) {
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(plain ? m->buildMeshPlain() : m->buildMesh());
        if (step != 2) {
            state.ResumeTiming();
        }
        t += 1.0f / 30.0f;
    }
}
BENCHMARK(BM_BlobFrameStep)
    ->ArgNames({"step", "plain"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);

// polygonise over a fixed field: the tube frame at t = 5 s (40^3), or a
// blurred ball filling a 100^3 grid; cells per second as the rate. The second
// argument 1 runs polygonisePlain.
void BM_MarchingCubes(benchmark::State& state) {
    device* d = benchDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    const bool plain = state.range(1) != 0;
    std::unique_ptr<metamecklo> m;
    if (n == 40) {
        m = tubeField(*d);
        m->addTubeSet(5.0f, 0.0f, 0.1f, 1.0f, 1.0f);
    } else {
        m = std::make_unique<metamecklo>(d, n, n, n, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, false);
        m->setIsoLevel(0.25f);
        const float centre[3] = {0.5f, 0.5f, 0.5f};
        m->addSignedBall(0.3f, 1.0f, centre);
        m->clearBorders();
    }
    m->blurField();
    m->blurField();
    std::vector<TriangleRecord> records(500000 / 3);
    int triangles = 0;
    for (auto _ : state) {
        triangles = plain ? geometry::polygonisePlain(m->currentGrid(), records, 0.125f)
                          : polygonise(m->currentGrid(), records, 0.125f);
        benchmark::DoNotOptimize(records.data());
    }
    state.counters["triangles"] = triangles;
    state.counters["cells_per_s"] = benchmark::Counter(static_cast<double>(m->currentGrid().cellCount()),
                                                       benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MarchingCubes)
    ->ArgNames({"n", "plain"})
    ->ArgsProduct({{40, 100}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0);

} // namespace
