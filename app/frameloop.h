// The frame loop: song position and flashes, the Space key, one window
// message, the time rule that picks the scene, the scene, the beat bars and
// the present; the process ends with status 0 when the show's clock reaches
// 69 seconds.
#pragma once

namespace app {

struct Show;

// What one frame decided, for those who watch the show run.
struct FrameRecord {
    double t;    // the show's clock
    int part;    // the scene drawn
    float flash; // the flash value the scene was given
    int order;   // the song position read at the frame's start
    int row;
    int caption; // the caption strip index after the frame
    float fadeA; // the beat bars' fades
    float fadeB;
};

using FrameObserver = void (*)(const FrameRecord& frame, void* context);

// Called after each frame is drawn, before it is presented; null stops it.
void setFrameObserver(FrameObserver observer, void* context);

// The bars over every scene: magenta over the top quarter after pulse A,
// green over the bottom third after pulse B (reaching higher while the flash
// lasts, except in scene 1); nothing in scenes 3 and 6. Screen blend in scene
// 5, additive elsewhere. Ends the scene on the back buffer.
void drawBeatBars(Show& show, int part, float flash, float fadeA, float fadeB);

// Runs frames until the show ends the process or a quit or failure leaves by an exception.
[[noreturn]] void runFrameLoop(Show& show);

} // namespace app
