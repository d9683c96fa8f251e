#include "app/scenes/scenes.h"

namespace scenes {

void drawScene2(Show&, float, float) {}

} // namespace scenes
