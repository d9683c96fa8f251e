#include "debuglog/log.h"

#include "platform/kernel/kernel.h"

#include <cstdarg>
#include <cstdio>

namespace {

char logBuffer[debuglog::kLogBufferSize];

void logRaw(const char* text) {
    OutputDebugStringA(text);
    OutputDebugStringA("\n");
}

} // namespace

void logPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(logBuffer, sizeof logBuffer, format, args);
    va_end(args);
    logRaw(logBuffer);
}

void logLastError(const char* context) {
    if (context != nullptr) {
        logRaw(context);
    }
    char* text = nullptr;
    const DWORD code = GetLastError();
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        // The system has no text for this code; say which code it was.
        std::snprintf(logBuffer, sizeof logBuffer, "error %lu (no message text)", static_cast<unsigned long>(code));
        logRaw(logBuffer);
        return;
    }
    logRaw(text);
    LocalFree(text);
}
