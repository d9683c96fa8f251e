#include "app/scenes/scenes.h"

namespace app::scenes {

void drawScene(int part, Show& show, float t, float flash) {
    using SceneFunction = void (*)(Show&, float, float);
    static constexpr SceneFunction kScenes[] = {drawScene1, drawScene2, drawScene3, drawScene4, drawScene5, drawScene6};
    if (part >= 1 && part <= 6) {
        kScenes[part - 1](show, t, flash);
    }
}

} // namespace app::scenes
