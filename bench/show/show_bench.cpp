// The show at 800 x 600 on the headless device: start-up, then each scene's
// frames (the scene, the beat bars and the present) at times inside its range.
// The windowed present's 10 ms sleep is part of every frame, as in the show.
// Counters per frame: GL draws and state changes, and the main thread's CPU
// time (which holds the GL driver's front end; llvmpipe rasterises on its own
// threads).
#include "app/frameloop.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "platform/d3d9/d3d9ext.h"
#include "tests/effects/headless.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double secondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Where the time to the first frame goes: making the device (the GL driver
// loads here), building the show, and drawing its first frame (scene 1 at
// show time 0, waited for by reading the back buffer).
struct StartUpTimes {
    double device = 0.0;
    double build = 0.0;
    double firstFrame = 0.0;
};
StartUpTimes startUpTimes;

device* benchDevice() {
    static device* d = [] {
        effects::test::useShaderFolder();
        const auto begin = std::chrono::steady_clock::now();
        device* made = effects::test::headlessDevice(800, 600);
        startUpTimes.device = secondsSince(begin);
        return made;
    }();
    return d;
}

void drawFrame(app::Show& show, int part, double t) {
    device& d = *show.dev;
    d.setRawTexture(0, show.program(1).d3dTexture);
    d.setAlphaBlend(false);
    show.part = part;
    app::scenes::drawScene(part, show, static_cast<float>(t), 0.25f);
    app::drawBeatBars(show, part, 0.25f, 0.25f, 0.25f);
    d.setDepthTest(true);
    d.cullCounterClockwise();
    d.present();
}

app::Show* startUp() {
    static app::Show* show = [] {
        device* d = benchDevice();
        if (d == nullptr) {
            return static_cast<app::Show*>(nullptr);
        }
        auto* built = new app::Show;
        auto begin = std::chrono::steady_clock::now();
        app::buildShow(*built, d);
        startUpTimes.build = secondsSince(begin);
        begin = std::chrono::steady_clock::now();
        drawFrame(*built, 1, 0.0);
        headless::Picture backBuffer;
        headless::readPicture(d->targetSurface[0], backBuffer);
        startUpTimes.firstFrame = secondsSince(begin);
        return built;
    }();
    return show;
}

// Start-up from nothing to the first frame drawn, in its three parts (the
// song's 0.1 s wait is not part of it). Made once per process; the figures
// are that one start.
void BM_StartUp(benchmark::State& state) {
    if (startUp() == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(startUpTimes);
    }
    state.counters["device_ms"] = startUpTimes.device * 1000.0;
    state.counters["build_ms"] = startUpTimes.build * 1000.0;
    state.counters["first_frame_ms"] = startUpTimes.firstFrame * 1000.0;
    state.counters["startup_ms"] = (startUpTimes.device + startUpTimes.build + startUpTimes.firstFrame) * 1000.0;
}
BENCHMARK(BM_StartUp)->Iterations(1);

// The frame of scene `part` at times from `from` on, a thirtieth of a second apart.
void BM_Scene(benchmark::State& state) {
    app::Show* show = startUp();
    if (show == nullptr) {
        state.SkipWithError("no headless device");
        return;
    }
    static constexpr double kStart[7] = {0, 1.0, 11.0, 34.0, 61.0, 51.0, 24.0};
    const auto part = static_cast<int>(state.range(0));
    device& d = *show->dev;
    double t = kStart[part];
    const platform::d3d9::DeviceCounters before = platform::d3d9::countersOf(d.d3dDevice);
    double cpu = 0.0;
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const double cpuBegin = threadCpuSeconds();
        drawFrame(*show, part, t);
        cpu += threadCpuSeconds() - cpuBegin;
        t += 1.0 / 30.0;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const platform::d3d9::DeviceCounters after = platform::d3d9::countersOf(d.d3dDevice);
    const auto frames = static_cast<double>(state.iterations());
    // A windowed present sleeps 10 ms, as the show does; the rate without
    // that sleep is what the drawing alone allows.
    state.counters["fps"] = frames / wall;
    state.counters["fps_without_sleep"] = frames / (wall - frames * 0.010);
    state.counters["draws"] = static_cast<double>(after.draws - before.draws) / frames;
    state.counters["state_changes"] = static_cast<double>(after.stateChanges - before.stateChanges) / frames;
    state.counters["main_cpu_ms"] = cpu * 1000.0 / frames;
}
BENCHMARK(BM_Scene)->DenseRange(1, 6)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace
