// runDemo for the capture tests: the show's start-up path (setup dialog,
// device, song clock) and a frame loop whose frames carry their own time and
// song row as colour, ending the process like the show does.
//
// Each frame is cleared to red = milliseconds of show time >> 8, green = the
// low 8 bits, blue = 128 + the song's row. It prints
// "probe: song started at N ns" once the song plays. RIZA3V_PROBE_END sets
// when it exits with status 0 (seconds, default 2); RIZA3V_PROBE=fail raises
// a failure after 0.5 s instead.
#include "app/demo.h"
#include "dx/dxbase.h"
#include "dx/dxdevice.h"
#include "errors/errors.h"
#include "music/songclock.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "resources/dialogs/dialogs.h"
#include "resources/song/song.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void runDemo(int, char*) {
    resources::installDialogResources();
    DemoSettings settings{};
    settings.showSetupDialog = 1;
    settings.caption = "probe";
    settings.hardwareVertexProcessing = 1;
    settings.width = 800;
    settings.height = 600;
    settings.refreshRate = 75;
    settings.backBufferFormat = D3DFMT_X8R8G8B8;
    device* dev = (new dx::dxwindow)->createMainWindow()->setupDisplay(settings);

    const char* endText = std::getenv("RIZA3V_PROBE_END");
    const double end = endText != nullptr ? std::atof(endText) : 2.0;
    const char* mode = std::getenv("RIZA3V_PROBE");
    const bool failing = mode != nullptr && std::strcmp(mode, "fail") == 0;

    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    auto* music = new music::SongClock(resources::kSongModule, resources::kSongModuleSize);
    music->start();
    std::fprintf(stderr, "probe: song started at %llu ns\n",
                 static_cast<unsigned long long>(platform::kernel::clockNowNs()));
    for (;;) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        const double t = static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        if (failing && t > 0.5) {
            errors::raiseError("probe failure", "probe", 7);
        }
        if (t >= end) {
            std::exit(0);
        }
        const auto ms = static_cast<unsigned>(t * 1000.0);
        const auto row = static_cast<unsigned>(music->row());
        dev->beginTarget(0, D3DCOLOR_XRGB((ms >> 8) & 0xFF, ms & 0xFF, (row & 0x7F) | 0x80),
                         D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        dev->endScene();
        dev->present();
    }
}
