#include "app/scenes/scenes.h"

namespace scenes {

void drawScene4(Show&, float, float) {}

} // namespace scenes
