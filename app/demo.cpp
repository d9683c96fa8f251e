#include "app/demo.h"

#include "app/frameloop.h"
#include "app/show.h"
#include "dx/dxbase.h"
#include "music/songclock.h"
#include "resources/dialogs/dialogs.h"

void runDemo(int, char*) {
    resources::installDialogResources();

    DemoSettings settings{};
    settings.showSetupDialog = 1;
    settings.caption = "hehe";
    settings.hardwareVertexProcessing = 1;
    settings.width = 800;
    settings.height = 600;
    settings.refreshRate = 75;
    settings.backBufferFormat = D3DFMT_X8R8G8B8;
    settings.windowed = 0;

    dx::dxwindow* window = (new dx::dxwindow)->createMainWindow();
    device* dev = window->setupDisplay(settings);

    auto* show = new app::Show;
    app::buildShow(*show, dev);
    show->music->start();
    app::runFrameLoop(*show);
}
