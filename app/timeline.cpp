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

double fadeOf(double elapsedSeconds) {
    return std::max(0.0, 0.5 - elapsedSeconds);
}

int nextPart(int part) {
    return part + 1 > 6 ? 1 : part + 1;
}

int partAt(int part, double t) {
    if (t < 10)
        return 1;
    if (t > 10 && t < 23)
        return 2;
    if (t > 23 && t < 33)
        return 6;
    if (t > 33 && t < 50)
        return 3;
    if (t > 50 && t < 55)
        return 5;
    if (t > 60)
        return 4;
    return part;
}

bool showIsOver(double t) {
    return t >= 69;
}

int pulseToRestart(int row, double elapsedA, double elapsedB) {
    if (row % 6 != 0)
        return 0;
    return elapsedA > elapsedB ? 1 : 2;
}

Stopwatch& flashClock() {
    static Stopwatch clock;
    return clock;
}

Stopwatch& pulseClockA() {
    static Stopwatch clock;
    return clock;
}

Stopwatch& pulseClockB() {
    static Stopwatch clock;
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
    (pulseToRestart(row, a, b) == 1 ? pulseClockA() : pulseClockB()).restart();
}
