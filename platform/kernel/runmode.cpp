#include "platform/kernel/runmode.h"

#include <atomic>

namespace {
std::atomic<platform::RunMode> currentMode{platform::RunMode::live};
}

namespace platform {

void setRunMode(RunMode mode) {
    currentMode.store(mode);
}
RunMode runMode() {
    return currentMode.load();
}

} // namespace platform
