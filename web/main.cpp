// The show's entry in the browser. The page (index.html) says how to run:
// live (the setup dialog on the canvas, the wall clock, Web Audio) or capture
// (virtual mode with the scripted user, as riza3v-capture: frames at the
// asked show times go to the page as pictures, and the PCM the mixer made
// goes to the page when the show ends, which hashes it).
#include "app/dxmain.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "platform/winmm/wavesink.h"
#include "resources/dialogs/dialogs.h"

#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
// The show sleeps 10 ms after each windowed present; the capture's frame
// step leaves that out so that frames fall on the frame rate (as riza3v-capture).
constexpr std::uint64_t kWindowedPresentSleepNs = 10'000'000;

struct Capture {
    int width = 0;
    int height = 0;
    int fps = 0;
    std::vector<double> at; // show times of the frames to keep, seconds, ascending
    std::size_t next = 0;
};

Capture capture;

EM_JS(int, riza3vCaptureWidth, (), { return Module['riza3vCapture'] ? Module['riza3vCapture'].width : 0; });
EM_JS(int, riza3vCaptureHeight, (), { return Module['riza3vCapture'].height; });
EM_JS(int, riza3vCaptureFps, (), { return Module['riza3vCapture'].fps; });
EM_JS(int, riza3vCaptureTimes, (), { return Module['riza3vCapture'].at.length; });
EM_JS(double, riza3vCaptureTime, (int i), { return Module['riza3vCapture'].at[i]; });
EM_JS(void, riza3vKeepFrame, (double seconds, const std::uint8_t* rgba, int width, int height),
      { Module['riza3vKeepFrame'](seconds, HEAPU8.slice(rgba, rgba + width * height * 4), width, height); });
EM_JS(void, riza3vKeepPcm, (const std::uint8_t* bytes, int length),
      { Module['riza3vKeepPcm'](HEAPU8.slice(bytes, bytes + length)); });

// Show time of a present: virtual time since the song's first byte played.
void onPresent(void*, UINT width, UINT height, const std::uint8_t* rgba) {
    std::uint64_t writeNs = 0;
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    if (!platform::virtualSinkStart(writeNs, rate, channels)) {
        return;
    }
    const double showTime = static_cast<double>(platform::clockNowNs() - writeNs) / kNsPerSecond;
    while (capture.next < capture.at.size() && showTime >= capture.at[capture.next]) {
        riza3vKeepFrame(capture.at[capture.next], rgba, static_cast<int>(width), static_cast<int>(height));
        ++capture.next;
    }
}

} // namespace

// Called by the page when the show exits: the frames still in flight, then
// the PCM kept since the song's first byte.
extern "C" EMSCRIPTEN_KEEPALIVE void riza3vHandPcmToPage() {
    platform::d3d9::flushPresentHook();
    const std::vector<std::uint8_t> pcm = platform::takeWaveOutPcm();
    riza3vKeepPcm(pcm.data(), static_cast<int>(pcm.size()));
}

int main() {
    capture.width = riza3vCaptureWidth();
    if (capture.width > 0) {
        capture.height = riza3vCaptureHeight();
        capture.fps = riza3vCaptureFps();
        for (int i = 0; i < riza3vCaptureTimes(); ++i) {
            capture.at.push_back(riza3vCaptureTime(i));
        }
        platform::setRunMode(platform::RunMode::virtualRun);
        platform::d3d9::addVirtualMode(static_cast<UINT>(capture.width), static_cast<UINT>(capture.height));
        platform::useVirtualClock(kNsPerSecond / static_cast<std::uint64_t>(capture.fps) - kWindowedPresentSleepNs);
        platform::keepWaveOutPcm(true);
        platform::d3d9::setPresentHook(onPresent, nullptr);
        namespace script = platform::script;
        script::chooseRow(kAdapterList, 0);
        script::chooseRowText(kResolutionList, std::to_string(capture.width) + "x" + std::to_string(capture.height));
        script::chooseRowText(kRefreshRateList, "60 Hz");
        script::click(IDOK);
    }
    static char programName[] = "riza3v";
    char* args[] = {programName, nullptr};
    std::exit(runEntry(1, args));
}
