#include "app/scenes/scenes.h"

namespace scenes {

void drawScene6(Show&, float, float) {}

} // namespace scenes
