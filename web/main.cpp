// The show's entry in the browser. The page (index.html) says how to run:
// live (the setup dialog on the canvas, the wall clock, Web Audio) or capture
// (virtual mode with the scripted user, as riza3v-capture). A capture puts
// the presented frames on the same time grid as riza3v-capture (frame n is
// show time n / fps) and hands the page the frames at the asked show times;
// the sound is laid on show time by that tool's own code, so the page's hash
// of it equals the hash of riza3v.wav's data.
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
#include "tools/capture/framegrid.h"
#include "tools/capture/options.h"
#include "tools/capture/soundtrack.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
// The show sleeps 10 ms after each windowed present; the capture's frame
// step leaves that out so that presents fall 1/fps apart (as riza3v-capture).
constexpr std::uint64_t kWindowedPresentSleepNs = 10'000'000;

// The sound track kept in memory, for the page to hash.
struct PcmInMemory final : capture::SoundTrack::Sink {
    bool appendSilence(std::uint64_t frames, std::uint32_t channels, std::string&) override {
        bytes.resize(bytes.size() + static_cast<std::size_t>(frames * channels * 2), 0);
        return true;
    }
    bool append(const std::uint8_t* data, std::size_t size, std::string&) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    bool truncate(std::uint64_t size, std::string&) override {
        bytes.resize(static_cast<std::size_t>(size));
        return true;
    }
    std::vector<std::uint8_t> bytes;
};

class PageCaptureRun {
  public:
    explicit PageCaptureRun(const platform::win32::PageCapture& request)
        : request_(request), options_(optionsFor(request)), end_(capture::endFrame(options_)),
          grid_(request.fps, static_cast<std::uint32_t>(request.width), static_cast<std::uint32_t>(request.height),
                capture::firstFrame(options_), end_, [this](long n, const std::uint8_t* rgba) { emit(n, rgba); }) {}

    // A frame of the show was presented (the present hook).
    void presented(const std::uint8_t* rgba) {
        if (finished_) {
            return;
        }
        grid_.presented(platform::d3d9::presentedFrameNs(), rgba);
        std::string why;
        track_.pump(track_.framesFor(end_, request_.fps), why); // a memory sink does not fail
        if (grid_.done()) {
            finish(end_);
            std::exit(0);
        }
    }

    // The program exits before the grid's end: the frames still in flight,
    // then the grid and the sound up to the frame of the current time.
    void showExiting() {
        if (finished_) {
            return;
        }
        platform::d3d9::flushPresentHook();
        finish(capture::FrameGrid::frameAt(platform::kernel::clockNowNs(), request_.fps));
    }

  private:
    static capture::Options optionsFor(const platform::win32::PageCapture& request) {
        capture::Options options;
        options.width = request.width;
        options.height = request.height;
        options.fps = request.fps;
        return options;
    }

    void emit(long n, const std::uint8_t* rgba) {
        for (double seconds : request_.at) {
            const auto ns = static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds) * kNsPerSecond));
            if (capture::FrameGrid::frameAt(ns, request_.fps) == n) {
                platform::win32::pageKeepFrame(seconds, rgba, request_.width, request_.height);
            }
        }
    }

    void finish(long lastFrame) {
        finished_ = true;
        lastFrame = std::min(lastFrame, end_);
        grid_.finish(lastFrame);
        std::string why;
        track_.finish(track_.framesFor(lastFrame, request_.fps), why);
        platform::win32::pageKeepPcm(pcm_.bytes);
    }

    platform::win32::PageCapture request_;
    capture::Options options_;
    long end_;
    capture::FrameGrid grid_;
    PcmInMemory pcm_;
    capture::SoundTrack track_{pcm_};
    bool finished_ = false;
};

// The run the present hook and the page's exit reach; made once in main.
std::unique_ptr<PageCaptureRun> captureRun;

void onPresent(void*, UINT, UINT, const std::uint8_t* rgba) {
    captureRun->presented(rgba);
}

void onPageExit() {
    captureRun->showExiting();
}

} // namespace

int main() {
    platform::win32::PageCapture request;
    if (platform::win32::pageCaptureRequest(request)) {
        captureRun = std::make_unique<PageCaptureRun>(request);
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        platform::d3d9::addVirtualMode(static_cast<UINT>(request.width), static_cast<UINT>(request.height));
        platform::kernel::useVirtualClock(kNsPerSecond / static_cast<std::uint64_t>(request.fps) -
                                          kWindowedPresentSleepNs);
        platform::winmm::keepWaveOutPcm(true);
        platform::d3d9::setPresentHook(onPresent, nullptr);
        platform::win32::setPageExitHook(onPageExit);
        namespace script = platform::win32::script;
        script::chooseRow(resources::kAdapterList, 0);
        script::chooseRowText(resources::kResolutionList,
                              std::to_string(request.width) + "x" + std::to_string(request.height));
        script::chooseRowText(resources::kRefreshRateList, "60 Hz");
        script::click(IDOK);
    }
    static char programName[] = "riza3v";
    char* args[] = {programName, nullptr};
    std::exit(app::runEntry(1, args, runDemo));
}
