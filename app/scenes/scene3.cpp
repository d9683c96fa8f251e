#include "app/scenes/scenes.h"

namespace scenes {

void drawScene3(Show&, float, float) {}

} // namespace scenes
