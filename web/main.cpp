// The show's entry in the browser. The page (index.html) says how to run:
// live (the setup dialog on the canvas, the wall clock, Web Audio) or capture
// (virtual mode with the scripted user, as riza3v-capture: frames at the
// asked show times go to the page as pictures, and the PCM the mixer made
// goes to the page when the show ends, which hashes it).
#include "app/demo.h"
#include "app/dxmain.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/canvashost.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "platform/winmm/wavesink.h"
#include "resources/dialogs/dialogs.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
// The show sleeps 10 ms after each windowed present; the capture's frame
// step leaves that out so that frames fall on the frame rate (as riza3v-capture).
constexpr std::uint64_t kWindowedPresentSleepNs = 10'000'000;

platform::win32::PageCapture capture;
std::size_t nextFrame = 0;

// Show time of a present: virtual time since the song's first byte played.
void onPresent(void*, UINT width, UINT height, const std::uint8_t* rgba) {
    std::uint64_t writeNs = 0;
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    if (!platform::winmm::virtualSinkStart(writeNs, rate, channels)) {
        return;
    }
    const double showTime = static_cast<double>(platform::kernel::clockNowNs() - writeNs) / kNsPerSecond;
    while (nextFrame < capture.at.size() && showTime >= capture.at[nextFrame]) {
        platform::win32::pageKeepFrame(capture.at[nextFrame], rgba, static_cast<int>(width), static_cast<int>(height));
        ++nextFrame;
    }
}

// At the show's exit: the frames still in flight, then the PCM kept since the
// song's first byte.
void handPcmToPage() {
    platform::d3d9::flushPresentHook();
    platform::win32::pageKeepPcm(platform::winmm::takeWaveOutPcm());
}

} // namespace

int main() {
    if (platform::win32::pageCaptureRequest(capture)) {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        platform::d3d9::addVirtualMode(static_cast<UINT>(capture.width), static_cast<UINT>(capture.height));
        platform::kernel::useVirtualClock(kNsPerSecond / static_cast<std::uint64_t>(capture.fps) -
                                          kWindowedPresentSleepNs);
        platform::winmm::keepWaveOutPcm(true);
        platform::d3d9::setPresentHook(onPresent, nullptr);
        platform::win32::setPageExitHook(handPcmToPage);
        namespace script = platform::win32::script;
        script::chooseRow(resources::kAdapterList, 0);
        script::chooseRowText(resources::kResolutionList,
                              std::to_string(capture.width) + "x" + std::to_string(capture.height));
        script::chooseRowText(resources::kRefreshRateList, "60 Hz");
        script::click(IDOK);
    }
    static char programName[] = "riza3v";
    char* args[] = {programName, nullptr};
    std::exit(app::runEntry(1, args, runDemo));
}
