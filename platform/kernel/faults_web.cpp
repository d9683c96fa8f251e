#include "platform/kernel/faults.h"

namespace platform::kernel {

void trapProcessorFaults(const char*, int) {}

} // namespace platform::kernel
