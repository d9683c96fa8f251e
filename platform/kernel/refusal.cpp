#include "platform/kernel/refusal.h"

#include "platform/kernel/kernel.h"

#include <cstdio>
#include <cstring>

namespace platform::kernel {

void logRefusalV(const char* service, const char* format, std::va_list args) {
    char line[512];
    int used = std::snprintf(line, sizeof line, "%s: ", service);
    if (used < 0 || used >= static_cast<int>(sizeof line) - 1) {
        used = 0;
    }
    std::vsnprintf(line + used, sizeof line - static_cast<std::size_t>(used) - 1, format, args);
    const std::size_t end = std::strlen(line);
    line[end] = '\n';
    line[end + 1] = '\0';
    OutputDebugStringA(line);
}

void logRefusal(const char* service, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    logRefusalV(service, format, args);
    va_end(args);
}

void logRefusalOnce(bool& said, const char* service, const char* format, ...) {
    if (said) {
        return;
    }
    said = true;
    std::va_list args;
    va_start(args, format);
    logRefusalV(service, format, args);
    va_end(args);
}

} // namespace platform::kernel
