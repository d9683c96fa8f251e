#include "app/scenes/scenes.h"

namespace scenes {

void drawScene(int part, Show& show, float t, float flash) {
    switch (part) {
    case 1:
        drawScene1(show, t, flash);
        break;
    case 2:
        drawScene2(show, t, flash);
        break;
    case 3:
        drawScene3(show, t, flash);
        break;
    case 4:
        drawScene4(show, t, flash);
        break;
    case 5:
        drawScene5(show, t, flash);
        break;
    case 6:
        drawScene6(show, t, flash);
        break;
    default:
        break;
    }
}

} // namespace scenes
