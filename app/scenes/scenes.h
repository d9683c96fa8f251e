// The six scenes of the show. Each draws one frame at show time t (seconds
// of the show's clock) with the current flash value, from the objects
// start-up made, and leaves the frame unpresented for the beat bars.
#pragma once

namespace app {

struct Show;

} // namespace app

namespace app::scenes {

void drawScene1(Show& show, float t, float flash); // 0-10 s: cloth and sphere, blurred
void drawScene2(Show& show, float t, float flash); // 10-23 s: the sculpture under point sprites
void drawScene3(Show& show, float t, float flash); // 33-50 s: mirrored point cloud, growing logo
void drawScene4(Show& show, float t, float flash); // 60-69 s: blob scene through the zoom blur, captions
void drawScene5(Show& show, float t, float flash); // 50-60 s: blob scene with flickering words
void drawScene6(Show& show, float t, float flash); // 23-33 s: the growing tunnel with a title

// Scene 5's word at show time t: "QTV", "OH", "HO" or "VTQ" by the low byte
// of the whole seconds times -72.
const char* flickerWord(float t);
// Scene 4's caption after a frame on song row `row`: on a row that is not a
// multiple of 6 one random draw decides whether it steps on (wrapping after
// the last); on the other rows nothing is drawn and it stays.
int nextCaption(int captionIndex, int row);

// Scene `part` (1 to 6).
void drawScene(int part, Show& show, float t, float flash);

} // namespace app::scenes
