// The progress display on standard error.
#pragma once

#include <cstdio>
#include <string>

namespace capture {

struct ProgressState {
    long done;          // frames written
    long total;         // frames to write
    double showSeconds; // show time of the last frame written
    double wallSeconds; // since the capture started
    double secondsLeft; // estimated; negative while unknown
};

// "[#####---------------]  120/4140 frames  t=  2.0 s   45.3 fps  1:29 left"
// with a bar of `barWidth` cells; "--:--" left while the estimate is unknown.
std::string progressLine(const ProgressState& state, int barWidth);

// On a terminal: one line redrawn in place, at most every 0.1 s of wall time.
// Elsewhere: a plain line each time another 10% of the frames are done.
class Progress {
  public:
    Progress(std::FILE* out, bool terminal);
    void update(const ProgressState& state);
    // Ends the redrawn line, so that what follows starts on a line of its own.
    void end();

  private:
    std::FILE* out_;
    bool terminal_;
    double lastDraw_ = -1.0;
    long lastTenth_ = 0;
    bool drawn_ = false;
};

} // namespace capture
