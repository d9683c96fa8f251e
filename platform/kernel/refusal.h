// The one format of the platform services' log lines for a call they refuse
// or cannot complete: "<service>: <text>", one line to the debug output.
#pragma once

#include <cstdarg>

namespace platform::kernel {

// Logs "<service>: <text>" with text formatted printf-style.
void logRefusal(const char* service, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logRefusalV(const char* service, const char* format, std::va_list args) __attribute__((format(printf, 2, 0)));
// Logs as logRefusal the first time only: `said` is set then, and a later
// call with it set logs nothing. For refusals a caller repeats every frame.
void logRefusalOnce(bool& said, const char* service, const char* format, ...) __attribute__((format(printf, 3, 4)));

} // namespace platform::kernel
