#include "app/core/errors.h"

#include "platform/win32/kernel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ErrorRecord errorRecord{};

namespace {

char logBuffer[kLogBufferSize];

// Copies at most size - 1 characters and always terminates.
void copyBounded(char* to, std::size_t size, const char* from) {
    std::size_t n = std::strlen(from);
    if (n >= size) {
        n = size - 1;
    }
    std::memcpy(to, from, n);
    to[n] = '\0';
}

void logRaw(const char* text) {
    OutputDebugStringA(text);
    OutputDebugStringA("\n");
}

} // namespace

namespace qtv_d3d {

exception::exception(const char* message, const char* file, std::int32_t line) {
    copyBounded(errorRecord.message, sizeof errorRecord.message, message != nullptr ? message : "unknown error");
    copyBounded(errorRecord.file, sizeof errorRecord.file, file != nullptr ? file : "unknown file");
    errorRecord.line = line;
}

} // namespace qtv_d3d

void raise(const char* message, const char* file, std::int32_t line) {
    throw qtv_d3d::exception(message, file, line);
}

void checkD3d(std::int32_t result, const char* file, std::int32_t line) {
    if (result != 0) {
        raise(kAutoThrowD3d, file, line);
    }
}

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
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                       nullptr);
    if (length == 0 || text == nullptr) {
        // The system has no text for this code; say which code it was.
        std::snprintf(logBuffer, sizeof logBuffer, "error %lu (no message text)", static_cast<unsigned long>(code));
        logRaw(logBuffer);
        return;
    }
    logRaw(text);
    LocalFree(text);
}

void logVector3(const Vector3& v, const char* title) {
    if (title != nullptr) {
        logRaw(title);
    }
    logPrintf("[%f] [%f] [%f]", static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z));
}

void writeRecordToStderr() {
    char text[3 * 1024 + 64];
    std::snprintf(text, sizeof text, "File: %s\nLine: %d\nMessage: %s\n", errorRecord.file,
                  static_cast<int>(errorRecord.line), errorRecord.message);
    OutputDebugStringA(text);
}
