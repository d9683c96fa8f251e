#include "tools/capture/progress.h"

#include <cmath>

namespace capture {

std::string progressLine(const ProgressState& s, int barWidth) {
    const long total = s.total > 0 ? s.total : 1;
    const long filled = s.done * barWidth / total;
    std::string bar(static_cast<std::size_t>(barWidth), '-');
    bar.replace(0, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '#');
    const double rate = s.wallSeconds > 0.0 && s.done > 0 ? static_cast<double>(s.done) / s.wallSeconds : 0.0;
    char left[32] = "--:--";
    if (s.secondsLeft >= 0.0) {
        const long seconds = std::lround(s.secondsLeft);
        std::snprintf(left, sizeof left, "%ld:%02ld", seconds / 60, seconds % 60);
    }
    char line[256];
    std::snprintf(line, sizeof line, "[%s] %ld/%ld frames  t=%6.2f s  %6.1f fps  %s left", bar.c_str(), s.done, s.total,
                  s.showSeconds, rate, left);
    return line;
}

Progress::Progress(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

void Progress::update(const ProgressState& s) {
    if (terminal_) {
        if (s.done < s.total && s.wallSeconds - lastDraw_ < 0.1) {
            return;
        }
        lastDraw_ = s.wallSeconds;
        std::fprintf(out_, "\r%s", progressLine(s, 30).c_str());
        std::fflush(out_);
        drawn_ = true;
        return;
    }
    const long tenth = s.total > 0 ? s.done * 10 / s.total : 10;
    if (tenth > lastTenth_) {
        lastTenth_ = tenth;
        std::fprintf(out_, "riza3v-capture: %3ld%% %s\n", tenth * 10, progressLine(s, 20).c_str());
        std::fflush(out_);
    }
}

void Progress::end() {
    if (terminal_ && drawn_) {
        std::fputc('\n', out_);
        drawn_ = false;
    }
}

} // namespace capture
