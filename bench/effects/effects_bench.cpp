// The growing tunnel's per-frame CPU work and the zoom blur's ten passes at
// 800 x 600, on the headless device. The blur is compared with the same eleven
// two-stage full-target quads issued straight to the layer in the same run.
#include "dx/dxdevice.h"
#include "effects/tubes.h"
#include "effects/zoomblur.h"
#include "platform/d3d9/d3d9ext.h"
#include "tests/effects/headless.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

device* sharedDevice() {
    static device* d = [] {
        effects::test::useShaderFolder();
        return effects::test::headlessDevice(800, 600);
    }();
    return d;
}

// Simulation steps only: stepTubes with its trail shifts, no pools.
void tunnelStep(benchmark::State& state) {
    effects::Tubes tubes;
    for (auto _ : state) {
        tubes.stepTubes(0.01f, 0.002f, -0.003f, 2.0f);
        benchmark::DoNotOptimize(tubes.head());
    }
}
BENCHMARK(tunnelStep)->Unit(benchmark::kMicrosecond);

// One frame of drawTubes with `range(0)` catch-up steps (each refilling the
// five pools), the two shader loads and five draws, ended and presented.
// Reading a target back waits for the drawing queued before it.
void finish(device& d, int target, std::vector<D3DCOLOR>& pixels) {
    UINT w = 0;
    UINT h = 0;
    platform::d3d9::readBack(d.targetSurface[target], w, h, pixels);
}

void tunnelFrame(benchmark::State& state) {
    device* d = sharedDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    effects::Tubes tubes;
    tubes.createTubes(*d);
    const auto steps = static_cast<float>(state.range(0));
    float t = 1.0f;
    for (auto _ : state) {
        t += steps * effects::kTubeStep / 0.3f;
        d->beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        tubes.drawTubes(t, *d, nullptr);
        d->endScene();
    }
    // The renderer's threads still hold frames; the next benchmark must not wait for them.
    std::vector<D3DCOLOR> pixels;
    finish(*d, 0, pixels);
    state.counters["steps_per_frame"] =
        benchmark::Counter(static_cast<double>(tubes.stepCount() - 46) / static_cast<double>(state.iterations()));
}
BENCHMARK(tunnelFrame)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

struct BlurTargets {
    int source;
    int scratch;
    int destination;
};

BlurTargets& blurTargets(device& d) {
    static BlurTargets t{d.createRenderTarget(800, 600, 1, D3DFMT_A8R8G8B8, 0),
                         d.createRenderTarget(800, 600, 1, D3DFMT_A8R8G8B8, 0),
                         d.createRenderTarget(800, 600, 1, D3DFMT_A8R8G8B8, 0)};
    return t;
}

// Reading the target back waits for GL to finish the passes.
void zoomBlurTenPasses(benchmark::State& state) {
    device* d = sharedDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    const BlurTargets& t = blurTargets(*d);
    // The tunnel leaves its pools' shaders bound; pre-transformed quads need none.
    d->useFixedFunction();
    std::vector<D3DCOLOR> pixels;
    finish(*d, t.destination, pixels);
    for (auto _ : state) {
        zoomBlur(*d, t.source, t.destination, t.scratch, 0.0f, 2.0f, 10, 0.2f, 2.1f, 0.0f);
        finish(*d, t.destination, pixels);
    }
}
BENCHMARK(zoomBlurTenPasses)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: eleven two-stage full-target quads ping-ponging, set up once.
void rawElevenQuads(benchmark::State& state) {
    device* d = sharedDevice();
    if (d == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    const BlurTargets& t = blurTargets(*d);
    IDirect3DDevice9* dev = d->d3dDevice;
    d->useFixedFunction();
    dev->SetRenderState(D3DRS_ZENABLE, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080u);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    std::vector<D3DCOLOR> pixels;
    for (auto _ : state) {
        for (int pass = 0; pass < 11; ++pass) {
            const int from = pass % 2 == 0 ? t.source : t.scratch;
            const int to = pass == 10 ? t.destination : (pass % 2 == 0 ? t.scratch : t.source);
            d->beginTarget(to, 0, 0);
            dev->SetTexture(0, d->targetTexture[from]);
            dev->SetTexture(1, d->targetTexture[from]);
            d->drawZoomQuad(0xFF7F7F7Fu, 0.0f, 0.1f, 0.2f, -0.1f, 0.0f, 0.0f, 2.0f, 800.0f, 600.0f);
            d->endScene();
        }
        finish(*d, t.destination, pixels);
    }
    dev->SetTexture(0, nullptr);
    dev->SetTexture(1, nullptr);
}
BENCHMARK(rawElevenQuads)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
