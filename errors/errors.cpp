#include "errors/errors.h"

#include "platform/kernel/kernel.h"

#include <cstdio>
#include <cstring>

errors::ErrorRecord errorRecord{};

namespace {

// Copies at most size - 1 characters and always terminates.
void copyBounded(char* to, std::size_t size, const char* from) {
    std::size_t n = std::strlen(from);
    if (n >= size) {
        n = size - 1;
    }
    std::memcpy(to, from, n);
    to[n] = '\0';
}

} // namespace

namespace qtv_d3d {

exception::exception(const char* message, const char* file, std::int32_t line) {
    copyBounded(errorRecord.message, sizeof errorRecord.message, message != nullptr ? message : "unknown error");
    copyBounded(errorRecord.file, sizeof errorRecord.file, file != nullptr ? file : "unknown file");
    errorRecord.line = line;
}

} // namespace qtv_d3d

namespace errors {

void raiseError(const char* message, const char* file, std::int32_t line) {
    throw qtv_d3d::exception(message, file, line);
}

void checkD3d(std::int32_t result, const char* file, std::int32_t line) {
    if (result != 0) {
        raiseError(kAutoThrowD3d, file, line);
    }
}

std::string errorRecordText() {
    char text[3 * 1024 + 64];
    std::snprintf(text, sizeof text, "File: %s\nLine: %d\nMessage: %s\n", errorRecord.file,
                  static_cast<int>(errorRecord.line), errorRecord.message);
    return text;
}

void writeRecordToStderr() {
    OutputDebugStringA(errorRecordText().c_str());
}

} // namespace errors
