#include "tests/app/scenes/showfixture.h"

#include "app/scenes/scenes.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"

namespace app::scenes::test {

namespace {

UINT showWidth = kWidth;
UINT showHeight = kHeight;

} // namespace

void useShowSize(UINT width, UINT height) {
    showWidth = width;
    showHeight = height;
}

Show* builtShow() {
    static Show* show = [] {
        effects::test::useShaderFolder();
        device* d = effects::test::headlessDevice(showWidth, showHeight);
        if (d == nullptr) {
            return static_cast<Show*>(nullptr);
        }
        auto* built = new Show;
        buildShow(*built, d);
        return built;
    }();
    return show;
}

void startFrame(Show& show) {
    device& d = *show.dev;
    d.setAlphaBlend(false);
    d.setDepthTest(true);
    d.cullCounterClockwise();
    d.setRawTexture(0, show.program(1).d3dTexture);
}

effects::test::Picture drawScene(int part, float t, float flash, const char* name) {
    Show& show = *builtShow();
    device& d = *show.dev;
    startFrame(show);
    show.part = part;
    app::scenes::drawScene(part, show, t, flash);
    return effects::test::readTarget(d, 0, name);
}

} // namespace app::scenes::test
