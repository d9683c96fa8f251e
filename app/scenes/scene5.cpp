#include "app/scenes/scenes.h"

namespace scenes {

void drawScene5(Show&, float, float) {}

} // namespace scenes
