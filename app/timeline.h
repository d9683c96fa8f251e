// The show's clocks and the rules that turn elapsed time and the song row
// into the current scene and the beat flashes.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

// Seconds between a start count and the latest read of the performance
// counter.
class Stopwatch {
  public:
    Stopwatch();
    // Records the current count as the start count.
    void restart();
    // Reads the counter into the last count; (last - start) / frequency.
    double elapsed();

  private:
    std::int64_t frequency_;
    std::int64_t start_;
    std::int64_t last_;
};

namespace app {

// 0.5 right after a restart, falling linearly to 0 after half a second.
double fadeOf(double elapsedSeconds);

// The Space key's step: the next scene, 6 wraps to 1.
int nextPart(int part);

// The time rule as data: strictly between `after` and `before` seconds the
// scene is `part`. No rule covers the boundaries or 55 to 60 s.
struct SceneRule {
    int part;
    double after;
    double before;
};
inline constexpr std::array<SceneRule, 6> kSceneRules = {{
    {1, -std::numeric_limits<double>::infinity(), 10.0},
    {2, 10.0, 23.0},
    {6, 23.0, 33.0},
    {3, 33.0, 50.0},
    {5, 50.0, 55.0},
    {4, 60.0, std::numeric_limits<double>::infinity()},
}};

// Show time at which the show ends.
inline constexpr double kShowEnd = 69.0;

// The scene for elapsed show time t; strict comparisons, so at exactly 10,
// 23, 33, 50 and 60 s, and anywhere from 55 to 60 s, the scene stays `part`.
int partAt(int part, double t);

// The show ends when t reaches 69 s.
bool showIsOver(double t);

// A scene as it plays without the Space key: from the time its rule takes
// over to the time the next one does, the last one until the show ends.
struct SceneSpan {
    int part;
    double from;
    double to;
};
// The six scenes in the order they play.
std::array<SceneSpan, kSceneRules.size()> scenesInPlayOrder();

// On a row that is a multiple of 6 the flash restarts and so does the pulse
// clock that has run longer (B on a tie). Returns 0 when nothing restarts,
// 1 for pulse A, 2 for pulse B.
int pulseToRestart(int row, double elapsedA, double elapsedB);

} // namespace app

// The process-wide clocks started at program start.
Stopwatch& flashClock();
Stopwatch& pulseClockA();
Stopwatch& pulseClockB();

// Once per frame with the song position now playing; only the row is used.
void beatPulse(int order, int row);
