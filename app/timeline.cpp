#include "app/timeline.h"

#include "platform/kernel/kernel.h"

#include <algorithm>

Stopwatch::Stopwatch() {
    LARGE_INTEGER value{};
    QueryPerformanceFrequency(&value);
    frequency_ = value.QuadPart > 0 ? value.QuadPart : 1;
    restart();
}

void Stopwatch::restart() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    start_ = value.QuadPart;
    last_ = start_;
}

double Stopwatch::elapsed() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    last_ = value.QuadPart;
    return static_cast<double>(last_ - start_) / static_cast<double>(frequency_);
}

namespace app {

double fadeOf(double elapsedSeconds) {
    return std::max(0.0, 0.5 - elapsedSeconds);
}

int nextPart(int part) {
    return part + 1 > 6 ? 1 : part + 1;
}

int partAt(int part, double t) {
    for (const SceneRule& rule : kSceneRules) {
        if (t > rule.after && t < rule.before) {
            return rule.part;
        }
    }
    return part;
}

bool showIsOver(double t) {
    return t >= kShowEnd;
}

std::array<SceneSpan, kSceneRules.size()> scenesInPlayOrder() {
    std::array<SceneSpan, kSceneRules.size()> spans{};
    for (std::size_t i = 0; i < kSceneRules.size(); ++i) {
        const double next = i + 1 < kSceneRules.size() ? kSceneRules[i + 1].after : kShowEnd;
        spans[i] = {kSceneRules[i].part, std::max(0.0, kSceneRules[i].after), next};
    }
    return spans;
}

int pulseToRestart(int row, double elapsedA, double elapsedB) {
    if (row % 6 != 0)
        return 0;
    return elapsedA > elapsedB ? 1 : 2;
}

} // namespace app

Stopwatch& flashClock() {
    static Stopwatch clock;
    return clock;
}

// The pulse clocks begin as copies of the flash clock: all three start from
// one reading of the counter. Read one after the other, their starts could
// fall on either side of a count boundary, which decides which pulse clock
// the first beat restarts (the one that has run longer, B on a tie): a
// capture on the virtual clock would then differ from run to run.
Stopwatch& pulseClockA() {
    static Stopwatch clock = flashClock();
    return clock;
}

Stopwatch& pulseClockB() {
    static Stopwatch clock = flashClock();
    return clock;
}

namespace {

// The three clocks start with the program, not at their first use, so that
// until the first beat their elapsed times are long past the half second a
// flash lasts.
[[maybe_unused]] const bool clocksStarted = (flashClock(), pulseClockA(), pulseClockB(), true);

} // namespace

void beatPulse(int /*order*/, int row) {
    if (row % 6 != 0)
        return;
    flashClock().restart();
    const double a = pulseClockA().elapsed();
    const double b = pulseClockB().elapsed();
    (app::pulseToRestart(row, a, b) == 1 ? pulseClockA() : pulseClockB()).restart();
}
