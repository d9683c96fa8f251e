// The debug log: one line at a time to the kernel's debug output.
//
// It depends on nothing but the kernel services, so a tool that only reads
// data can log without linking a window system. Only the main thread logs.
#pragma once

namespace debuglog {

// Size of the log line buffer; longer lines are cut to size - 1 characters.
inline constexpr int kLogBufferSize = 1024;

} // namespace debuglog

// One line to the debug output: the formatted text, then "\n" by a second call.
void logPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs context (when not null) and the system text of the last error, both unformatted.
void logLastError(const char* context);
