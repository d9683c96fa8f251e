#include "platform/kernel/runmode.h"

#include <atomic>

namespace {
std::atomic<platform::kernel::RunMode> currentMode{platform::kernel::RunMode::live};
}

namespace platform::kernel {

void setRunMode(RunMode mode) {
    currentMode.store(mode);
}
RunMode runMode() {
    return currentMode.load();
}

} // namespace platform::kernel
