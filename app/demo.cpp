#include "app/demo.h"

#include "app/core/errors.h"
#include "dx/dxbase.h"

void runDemo(int, char*) {
    DemoSettings settings{};
    settings.showSetupDialog = 1;
    settings.caption = "hehe";
    settings.hardwareVertexProcessing = 1;
    settings.width = 800;
    settings.height = 600;
    settings.refreshRate = 75;
    settings.backBufferFormat = D3DFMT_X8R8G8B8;
    settings.windowed = 0;
    logPrintf("settings %ux%u at %u Hz; no display subsystem is built in yet", settings.width,
              settings.height, settings.refreshRate);
}
