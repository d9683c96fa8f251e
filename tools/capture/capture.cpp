#include "tools/capture/capture.h"

#include "app/dxmain.h"
#include "app/frameloop.h"
#include "app/timeline.h"
#include "errors/errors.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "platform/winmm/wavesink.h"
#include "resources/dialogs/dialogs.h"
#include "tools/capture/estimate.h"
#include "tools/capture/ffmpeg.h"
#include "tools/capture/framegrid.h"
#include "tools/capture/progress.h"
#include "tools/capture/soundtrack.h"
#include "tools/capture/storyboard.h"
#include "tools/pngfile/pngfile.h"
#include "tools/wavfile/wavfile.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace capture {
namespace {

// The device wrapper sleeps 10 ms after every windowed present, and a sleep
// of the show's own thread moves virtual time too; the frame step is what is
// left of 1/fps, so that presents fall 1/fps apart.
constexpr std::uint64_t kWindowedPresentSleepNs = 10'000'000;
constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

// The WAV file as the sound track's sink.
class WavSink final : public SoundTrack::Sink {
  public:
    explicit WavSink(wavfile::WavFile& wav) : wav_(wav) {}
    bool appendSilence(std::uint64_t frames, std::uint32_t channels, std::string& why) override {
        return wav_.appendSilence(frames, channels, why);
    }
    bool append(const std::uint8_t* bytes, std::size_t size, std::string& why) override {
        return wav_.append(bytes, size, why);
    }
    bool truncate(std::uint64_t bytes, std::string& why) override { return wav_.truncate(bytes, why); }

  private:
    wavfile::WavFile& wav_;
};

// Lines of the show's log shown on the terminal when the show fails.
constexpr int kLogLinesShown = 12;

class Session;

// The capture's process-wide state, reached from the present hook, the frame
// observer and the exit handler, which take no context of their own:
// - terminal: the progress bar and the capture's own lines. Standard error
//   itself goes to DIR/riza3v.log (logPath) once the output folder is there,
//   so the show's debug log, the libraries' messages and ffmpeg's land in the file;
// - session: the run in progress, made once the options are read.
std::FILE* terminal = stderr;
std::string logPath;
Session* session = nullptr;

// Sends standard error to `path` and keeps the terminal for `terminal`.
bool divertLog(const std::string& path, std::string& why) {
    const int log = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int kept = log >= 0 ? ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    std::FILE* keptFile = kept >= 0 ? ::fdopen(kept, "w") : nullptr;
    if (keptFile == nullptr || ::dup2(log, STDERR_FILENO) < 0) {
        why = std::strerror(errno);
        if (log >= 0) {
            ::close(log);
        }
        return false;
    }
    ::close(log);
    // Line by line, as standard error was: a note before a long start-up shows at once.
    std::setvbuf(keptFile, nullptr, _IOLBF, 0);
    terminal = keptFile;
    logPath = path;
    return true;
}

// The last lines of the log, less the last copy of `omit` in it, each indented.
std::string logTail(const std::string& omit) {
    std::fflush(stderr);
    std::string text;
    if (std::FILE* in = std::fopen(logPath.c_str(), "rb")) {
        char chunk[4096];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            text.append(chunk, n);
        }
        std::fclose(in);
    }
    const std::size_t copy = omit.empty() ? std::string::npos : text.rfind(omit);
    if (copy != std::string::npos) {
        text.erase(copy, omit.size());
    }
    std::size_t from = text.size();
    for (int lines = 0; from > 0 && lines <= kLogLinesShown; --from) {
        lines += text[from - 1] == '\n' ? 1 : 0;
    }
    std::string tail;
    std::size_t at = from == 0 ? 0 : from + 1;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        tail += "  " + text.substr(at, end - at) + "\n";
        at = end + 1;
    }
    return tail;
}

std::uint64_t fnv1a64(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < size; ++i) {
        h = (h ^ bytes[i]) * 0x100000001b3u;
    }
    return h;
}

bool makeFolders(const std::string& path, std::string& why) {
    std::string partial;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        partial = path.substr(0, at);
        if (partial.empty() || mkdir(partial.c_str(), 0777) == 0 || errno == EEXIST) {
            continue;
        }
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        why = "not a folder";
        return false;
    }
    return true;
}

enum class Stage { running, finished };

using SteadyClock = std::chrono::steady_clock;

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Where the capture's wall time goes, with --timings: from the tool's start
// to its summary line. Drawing is everything up to a present (the show's
// start-up and frame loop, waiting for the GPU); the read-back and the time
// inside the present hook are measured, and the hook's time divides into
// encoding (the pipe to ffmpeg, PNG files) and the rest (frame grid, sound).
struct Timings {
    SteadyClock::time_point start = SteadyClock::now();
    SteadyClock::time_point firstPresent{}; // the first frame handed to the hook
    platform::d3d9::ReadBackTimes beforeFirstPresent;
    double hookSeconds = 0.0;
    double encodeSeconds = 0.0;

    void print(long frames, const Estimate& estimate) const {
        const SteadyClock::time_point now = SteadyClock::now();
        const double wall = secondsBetween(start, now);
        const platform::d3d9::ReadBackTimes gpu = platform::d3d9::presentReadBackTimes();
        const double readBack = static_cast<double>(gpu.readBackNs) / 1e9;
        const double render = std::max(0.0, wall - readBack - hookSeconds);
        // Start-up: until the first present, less the presents the read-back ring held back.
        const double startUp =
            firstPresent == SteadyClock::time_point{}
                ? wall
                : secondsBetween(start, firstPresent) -
                      static_cast<double>(beforeFirstPresent.drawNs + beforeFirstPresent.readBackNs) / 1e9;
        std::fprintf(terminal,
                     "riza3v-capture: timings: wall %.3f s for %ld frames (%.2f fps); render %.3f s "
                     "(start-up %.3f s, waiting for the GPU %.3f s), read-back %.3f s, encode %.3f s, other %.3f s\n",
                     wall, frames, wall > 0.0 ? static_cast<double>(frames) / wall : 0.0, render, startUp,
                     static_cast<double>(gpu.drawNs) / 1e9, readBack, encodeSeconds,
                     std::max(0.0, hookSeconds - encodeSeconds));
        std::string scenes;
        for (const app::SceneSpan& span : app::scenesInPlayOrder()) {
            const long n = estimate.framesTimed(span.part);
            char text[80];
            std::snprintf(text, sizeof text, "%sscene %d %.4f s (%ld frames)", scenes.empty() ? "" : ", ", span.part,
                          n > 0 ? estimate.wallSeconds(span.part) / static_cast<double>(n) : 0.0, n);
            scenes += text;
        }
        std::fprintf(terminal, "riza3v-capture: timings: wall time a frame by scene: %s\n", scenes.c_str());
    }
};

class Session {
  public:
    explicit Session(const Options& o)
        : options(o), first(firstFrame(o)), end(endFrame(o)),
          grid(o.fps, static_cast<std::uint32_t>(o.width), static_cast<std::uint32_t>(o.height), first, end,
               [this](long n, const std::uint8_t* rgba) { emit(n, rgba); }),
          progress(terminal, isatty(fileno(terminal)) != 0), estimate_(o.width, o.height, o.fps, first, end) {
        const auto spans = app::scenesInPlayOrder();
        for (std::size_t i = 0; i < spans.size(); ++i) {
            board_.panels[i].part = spans[i].part;
            board_.panels[i].from = spans[i].from;
            board_.panels[i].to = spans[i].to;
            panelFrames_[i] = std::lround(panelTime(board_.panels[i]) * o.fps);
        }
        board_.showSeconds = app::kShowEnd;
    }

    bool prepare();
    void presented(const std::uint8_t* rgba);
    int finish(long lastFrame);
    [[noreturn]] void fail(const std::string& file, const std::string& why, bool showLog = false);
    // A frame of the show was drawn: a beat flash starts on the first frame of a row that is a multiple of 6.
    void frameDrawn(const app::FrameRecord& frame);
    void removePartialFiles();
    void endProgress() { progress.end(); }

    Options options;
    long first;
    long end;
    Stage stage = Stage::running;
    bool exitHandlerInstalled = false;
    bool gridDone() const { return grid.done(); }

  private:
    void emit(long n, const std::uint8_t* rgba);
    void pumpAudio(std::uint64_t capFrames);

    FrameGrid grid;
    Progress progress;
    Estimate estimate_;
    Storyboard board_;
    std::array<long, 6> panelFrames_{}; // the grid frame each panel is taken from
    int lastOrder_ = -1;
    int lastRow_ = -1;
    std::unique_ptr<Timings> timings_;
    std::string dir_, wavPath_, mp4Path_, videoPath_, framesDir_, boardPath_, ffmpeg_;
    wavfile::WavFile wav_;
    std::unique_ptr<VideoEncoder> video_;
    std::vector<std::string> written_;
    bool madeFramesDir_ = false;
    WavSink wavSink_{wav_};
    SoundTrack track_{wavSink_};
    long framesWritten_ = 0;
    // The capture's speed is timed from its first frame, after the show's start-up.
    std::chrono::steady_clock::time_point wallStart_{};
};

bool Session::prepare() {
    if (options.timings) {
        timings_ = std::make_unique<Timings>();
        platform::d3d9::timePresentReadBack(true);
    }
    dir_ = options.outDir;
    std::string why;
    wavPath_ = dir_ + "/riza3v.wav";
    mp4Path_ = dir_ + "/riza3v.mp4";
    videoPath_ = dir_ + "/.riza3v-picture.mp4";
    framesDir_ = dir_ + "/frames";
    boardPath_ = dir_ + "/riza3v-storyboard.png";
    if (!wav_.open(wavPath_, why)) {
        std::fprintf(terminal, "riza3v-capture: cannot write %s: %s\n", wavPath_.c_str(), why.c_str());
        return false;
    }
    written_.push_back(wavPath_);
    if (options.png) {
        if (mkdir(framesDir_.c_str(), 0777) == 0) {
            madeFramesDir_ = true;
        } else if (errno != EEXIST) {
            const std::string reason = std::strerror(errno);
            fail(framesDir_, reason);
        }
    }
    if (!options.noVideo) {
        ffmpeg_ = findInPath("ffmpeg");
        if (ffmpeg_.empty()) {
            std::fprintf(terminal,
                         "riza3v-capture: ffmpeg is not installed (not found in PATH): no %s will be made; "
                         "writing the sound%s only\n",
                         mp4Path_.c_str(), options.png ? " and the PNG frames" : "");
        } else {
            std::remove(mp4Path_.c_str());
            video_ = std::make_unique<VideoEncoder>();
            written_.push_back(videoPath_);
            if (!video_->start(ffmpeg_, videoPath_, options.width, options.height, options.fps, why)) {
                fail(videoPath_, why);
            }
        }
    }
    return true;
}

void Session::removePartialFiles() {
    if (video_) {
        video_->finish();
    }
    for (const std::string& path : written_) {
        std::remove(path.c_str());
    }
    if (madeFramesDir_) {
        rmdir(framesDir_.c_str());
    }
}

void Session::fail(const std::string& file, const std::string& why, bool showLog) {
    stage = Stage::finished;
    progress.end();
    std::fprintf(terminal, "riza3v-capture: cannot write %s: %s; removing what this run wrote\n", file.c_str(),
                 why.c_str());
    if (showLog) {
        std::fprintf(terminal, "riza3v-capture: the last lines of %s:\n%s", logPath.c_str(), logTail("").c_str());
    }
    removePartialFiles();
    std::fflush(stdout);
    std::fflush(terminal);
    _exit(1);
}

void Session::frameDrawn(const app::FrameRecord& frame) {
    if (frame.row % 6 == 0 && (frame.row != lastRow_ || frame.order != lastOrder_)) {
        board_.beats.push_back(frame.t);
    }
    lastOrder_ = frame.order;
    lastRow_ = frame.row;
}

void Session::emit(long n, const std::uint8_t* rgba) {
    const std::size_t bytes = static_cast<std::size_t>(options.width) * static_cast<std::size_t>(options.height) * 4;
    const long index = n - first;
    const SteadyClock::time_point encodeStart = timings_ ? SteadyClock::now() : SteadyClock::time_point{};
    if (video_ && !video_->write(rgba, bytes)) {
        fail(videoPath_, "ffmpeg stopped encoding (its message is in the log)", true);
    }
    if (options.png) {
        char name[32];
        std::snprintf(name, sizeof name, "/%05ld.png", index);
        const std::string path = framesDir_ + name;
        written_.push_back(path);
        std::string why;
        if (!pngfile::writePng(path, static_cast<std::uint32_t>(options.width),
                               static_cast<std::uint32_t>(options.height), 4, rgba, &why)) {
            fail(path, why);
        }
    }
    if (timings_) {
        timings_->encodeSeconds += secondsBetween(encodeStart, SteadyClock::now());
    }
    if (options.hashes) {
        std::printf("%05ld %016llx\n", index, static_cast<unsigned long long>(fnv1a64(rgba, bytes)));
    }
    for (std::size_t i = 0; i < panelFrames_.size(); ++i) {
        if (panelFrames_[i] == n) {
            board_.panels[i].width = options.width;
            board_.panels[i].height = options.height;
            board_.panels[i].rgba.assign(rgba, rgba + bytes);
        }
    }
    if (framesWritten_ == 0) {
        wallStart_ = std::chrono::steady_clock::now();
    }
    ++framesWritten_;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
    estimate_.frameDone(n, wall);
    progress.update({framesWritten_, end - first, static_cast<double>(n) / options.fps, wall, estimate_.secondsLeft()});
}

// Moves the sound played so far into the WAV, placed on show time, up to capFrames.
void Session::pumpAudio(std::uint64_t capFrames) {
    std::string why;
    if (!track_.pump(capFrames, why)) {
        fail(wavPath_, why);
    }
}

void Session::presented(const std::uint8_t* rgba) {
    const SteadyClock::time_point hookStart = timings_ ? SteadyClock::now() : SteadyClock::time_point{};
    if (timings_ && timings_->firstPresent == SteadyClock::time_point{}) {
        timings_->firstPresent = hookStart;
        timings_->beforeFirstPresent = platform::d3d9::presentReadBackTimes();
    }
    grid.presented(platform::d3d9::presentedFrameNs(), rgba);
    pumpAudio(track_.framesFor(end, options.fps));
    if (timings_) {
        timings_->hookSeconds += secondsBetween(hookStart, SteadyClock::now());
    }
}

int Session::finish(long lastFrame) {
    stage = Stage::finished;
    lastFrame = std::min(lastFrame, end);
    grid.finish(lastFrame);
    std::string why;
    if (!track_.finish(track_.framesFor(lastFrame, options.fps), why) ||
        !wav_.finish(track_.rate(), track_.channels(), why)) {
        fail(wavPath_, why);
    }
    wavfile::Sound sound;
    written_.push_back(boardPath_);
    if (!wavfile::readWav(wavPath_, sound, why) || !writeStoryboard(boardPath_, board_, sound, why)) {
        fail(boardPath_, why);
    }
    progress.end();
    int status = 0;
    std::string made;
    if (video_) {
        // ffmpeg's work on the frames still in its pipeline, and the join with the sound, are encoding too.
        const SteadyClock::time_point encodeStart = timings_ ? SteadyClock::now() : SteadyClock::time_point{};
        if (!video_->finish()) {
            fail(videoPath_, "ffmpeg did not finish the video (its message is in the log)", true);
        }
        char from[32];
        char length[32];
        std::snprintf(from, sizeof from, "%.6f", static_cast<double>(first) / options.fps);
        std::snprintf(length, sizeof length, "%.6f", static_cast<double>(lastFrame - first) / options.fps);
        written_.push_back(mp4Path_);
        // The sound of the kept range, from the WAV that starts at show time 0.
        const bool joined = runProgram(
            {ffmpeg_, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",   "-i",        videoPath_,   "-ss",
             from,    "-t",           length,      "-i",    wavPath_,   "-map", "0:v:0",     "-map",       "1:a:0",
             "-c:v",  "copy",         "-c:a",      "aac",   "-b:a",     "192k", "-movflags", "+faststart", mp4Path_});
        std::remove(videoPath_.c_str());
        if (!joined) {
            fail(mp4Path_, "ffmpeg could not join the sound to the picture (its message is in the log)", true);
        }
        made = mp4Path_ + ", ";
        if (timings_) {
            const double encoding = secondsBetween(encodeStart, SteadyClock::now());
            timings_->encodeSeconds += encoding;
            timings_->hookSeconds += encoding;
        }
    } else if (!options.noVideo) {
        status = 1;
    }
    made += wavPath_ + ", " + boardPath_;
    const long frames = lastFrame - first;
    if (options.png && frames > 0) {
        char range[64];
        std::snprintf(range, sizeof range, "/00000.png to %05ld.png", frames - 1);
        made += ", " + framesDir_ + range;
    }
    std::fprintf(terminal, "riza3v-capture: wrote %ld frames of %dx%d at %d fps (show time %.2f to %.2f s): %s\n",
                 frames, options.width, options.height, options.fps, static_cast<double>(first) / options.fps,
                 static_cast<double>(lastFrame) / options.fps, made.c_str());
    if (status != 0) {
        std::fprintf(terminal, "riza3v-capture: no video: ffmpeg is not installed\n");
    }
    std::fprintf(terminal, "riza3v-capture: the show's log is %s\n", logPath.c_str());
    if (timings_) {
        timings_->print(frames, estimate_);
    }
    std::fflush(stdout);
    std::fflush(terminal);
    return status;
}

// The show ended the process: the frames still in the read-back ring are
// delivered, then the capture ends at the time the show did.
void onShowExit() {
    if (session == nullptr || session->stage != Stage::running) {
        return;
    }
    platform::d3d9::flushPresentHook();
    if (session->stage != Stage::running) {
        return;
    }
    const int status = session->finish(FrameGrid::frameAt(platform::kernel::clockNowNs(), session->options.fps));
    _exit(status);
}

void onPresent(void*, UINT, UINT, const std::uint8_t* rgba) {
    if (session == nullptr || session->stage != Stage::running) {
        return;
    }
    // Registered now, after the show's start-up, so that it runs before the
    // exit handlers of what the show made: the device must still be there.
    if (!session->exitHandlerInstalled) {
        session->exitHandlerInstalled = true;
        std::atexit(onShowExit);
    }
    session->presented(rgba);
    if (session->stage == Stage::running && session->gridDone()) {
        _exit(session->finish(session->end));
    }
}

} // namespace

std::string durationText(double seconds) {
    char text[32];
    if (seconds < 90.0) {
        std::snprintf(text, sizeof text, "%.0f s", seconds);
    } else {
        std::snprintf(text, sizeof text, "%.0f min", seconds / 60.0);
    }
    return text;
}

int runCapture(Options options, const std::string& command, app::ShowFunction show) {
    // A full disk and a file-size limit both end in a failed write, reported as such.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    while (options.outDir.size() > 1 && options.outDir.back() == '/') {
        options.outDir.pop_back();
    }
    std::string why;
    if (!makeFolders(options.outDir, why)) {
        std::fprintf(stderr, "riza3v-capture: cannot make the output folder %s: %s\n", options.outDir.c_str(),
                     why.c_str());
        return 1;
    }
    if (!divertLog(options.outDir + "/riza3v.log", why)) {
        std::fprintf(stderr, "riza3v-capture: cannot write %s/riza3v.log: %s\n", options.outDir.c_str(), why.c_str());
        return 1;
    }

    if (options.width == 0 || options.height == 0 || options.fps == 0) {
        const std::string renderer = platform::d3d9::virtualRendererName();
        if (applyRendererDefaults(options, renderer)) {
            const long first = firstFrame(options);
            const long end = std::max(first, endFrame(options));
            Options full = options;
            full.width = 1280;
            full.height = 720;
            full.fps = 60;
            std::fprintf(
                terminal,
                "riza3v-capture: software renderer (%s): %dx%d at %d fps, about %s here; "
                "1280x720 at 60 fps takes about %s: %s --width 1280 --height 720 --fps 60\n",
                renderer.empty() ? "none found" : renderer.c_str(), options.width, options.height, options.fps,
                durationText(referenceCaptureSeconds(options.width, options.height, options.fps, first, end)).c_str(),
                durationText(referenceCaptureSeconds(1280, 720, 60, firstFrame(full), endFrame(full))).c_str(),
                command.c_str());
        }
    }
    if (!checkRange(options, why)) {
        std::fprintf(terminal, "riza3v-capture: %s\n%s", why.c_str(), kUsage);
        return 2;
    }

    session = new Session(options);
    if (!session->prepare()) {
        return 1;
    }

    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    platform::d3d9::addVirtualMode(static_cast<UINT>(options.width), static_cast<UINT>(options.height));
    platform::kernel::useVirtualClock(kNsPerSecond / static_cast<std::uint64_t>(options.fps) - kWindowedPresentSleepNs);
    platform::winmm::keepWaveOutPcm(true);
    platform::d3d9::setPresentHook(onPresent, nullptr);
    app::setFrameObserver([](const app::FrameRecord& frame, void*) { session->frameDrawn(frame); }, nullptr);

    // The scripted user: the first adapter, the chosen size at 60 Hz, windowed (the box stays clear), OK.
    namespace script = platform::win32::script;
    script::chooseRow(resources::kAdapterList, 0);
    script::chooseRowText(resources::kResolutionList,
                          std::to_string(options.width) + "x" + std::to_string(options.height));
    script::chooseRowText(resources::kRefreshRateList, "60 Hz");
    script::click(IDOK);

    static char programName[] = "riza3v";
    char* showArgs[] = {programName, nullptr};
    const int status = app::runEntry(1, showArgs, show);
    if (session->stage != Stage::running) {
        return status;
    }
    session->stage = Stage::finished;
    session->endProgress();
    std::fprintf(terminal, "riza3v-capture: the show ended with status %d before the capture was complete\n", status);
    if (status != 0) {
        const std::string record = errorRecord.file[0] != '\0' ? errors::errorRecordText() : std::string();
        std::fprintf(terminal, "riza3v-capture: the last lines of %s:\n%s", logPath.c_str(), logTail(record).c_str());
        if (!record.empty()) {
            std::fprintf(terminal, "riza3v-capture: its error record:\n%s", record.c_str());
        }
    }
    session->removePartialFiles();
    // The show's audio thread still sleeps on the virtual clock: leave without
    // running the exit handlers and destructors that would wait for it.
    std::fflush(stdout);
    std::fflush(terminal);
    _exit(1);
}

} // namespace capture
