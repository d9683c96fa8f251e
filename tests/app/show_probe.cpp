// The real show in virtual mode for the whole-show tests: the scripted user
// picks a small windowed mode, the virtual clock moves one frame step per
// present, and every frame prints one line on stdout:
//   frame <t> <part> <flash> <order> <row> <caption> <fadeA> <fadeB>
// Environment:
//   RIZA3V_PROBE_FPS      frames per second of show time (default 10)
//   RIZA3V_PROBE_SPACE    show times (comma separated) after which Space is pressed once
//   RIZA3V_PROBE_ESCAPE   a show time after which Escape is pressed, or "startup":
//                         its key message is posted to the show's window while
//                         the setup dialog is up, to wait in the queue through
//                         the rest of start-up
//   RIZA3V_PROBE_SHADERS  the folder to run in (where shaders/ is looked for)
#include "app/demo.h"
#include "app/dxmain.h"
#include "app/frameloop.h"
#include "dx/dxbase.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "platform/win32/user.h"
#include "resources/dialogs/dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The windowed present's 10 ms sleep moves virtual time too.
constexpr std::uint64_t kPresentSleepNs = 10'000'000;

struct Script {
    std::vector<double> spaces;
    double escape = -1.0;
    std::size_t nextSpace = 0;
    bool escaped = false;
};

std::vector<double> timesFrom(const char* text) {
    std::vector<double> times;
    std::string rest = text != nullptr ? text : "";
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        times.push_back(std::atof(rest.substr(0, comma).c_str()));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return times;
}

void onFrame(const app::FrameRecord& frame, void* context) {
    auto& script = *static_cast<Script*>(context);
    std::printf("frame %.6f %d %.6f %d %d %d %.6f %.6f\n", frame.t, frame.part, static_cast<double>(frame.flash),
                frame.order, frame.row, frame.caption, static_cast<double>(frame.fadeA),
                static_cast<double>(frame.fadeB));
    if (script.nextSpace < script.spaces.size() && frame.t >= script.spaces[script.nextSpace]) {
        ++script.nextSpace;
        platform::win32::simulateKeyDown(VK_SPACE);
        platform::win32::simulateKeyUp(VK_SPACE);
    }
    if (!script.escaped && script.escape >= 0.0 && frame.t >= script.escape) {
        script.escaped = true;
        platform::win32::simulateKeyDown(VK_ESCAPE);
        platform::win32::simulateKeyUp(VK_ESCAPE);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (const char* folder = std::getenv("RIZA3V_PROBE_SHADERS")) {
        if (chdir(folder) != 0) {
            std::perror(folder);
            return 3;
        }
    }
    const char* fpsText = std::getenv("RIZA3V_PROBE_FPS");
    const int fps = fpsText != nullptr ? std::atoi(fpsText) : 10;
    static Script script;
    script.spaces = timesFrom(std::getenv("RIZA3V_PROBE_SPACE"));
    const char* escape = std::getenv("RIZA3V_PROBE_ESCAPE");
    const bool escapeAtStartup = escape != nullptr && std::strcmp(escape, "startup") == 0;
    if (escape != nullptr && !escapeAtStartup) {
        script.escape = std::atof(escape);
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    platform::d3d9::addVirtualMode(160, 120);
    platform::kernel::useVirtualClock(1'000'000'000 / static_cast<std::uint64_t>(fps) - kPresentSleepNs);
    namespace user = platform::win32::script;
    user::chooseRow(resources::kAdapterList, 0);
    user::chooseRowText(resources::kResolutionList, "160x120");
    user::chooseRowText(resources::kRefreshRateList, "60 Hz");
    if (escapeAtStartup) {
        user::call([](HWND) { PostMessageA(*mainWindow, WM_KEYDOWN, VK_ESCAPE, 1); });
    }
    user::click(IDOK);
    app::setFrameObserver(onFrame, &script);
    return app::runEntry(argc, argv, runDemo);
}
