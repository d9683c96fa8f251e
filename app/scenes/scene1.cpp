#include "app/scenes/scenes.h"

namespace scenes {

void drawScene1(Show&, float, float) {}

} // namespace scenes
