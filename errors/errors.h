// Failures, the quit request and the process-wide error record.
//
// Every failure is a thrown qtv_d3d::exception whose constructor writes the
// record that the error dialog shows; quitting is a thrown quitException.
// Only the main thread raises. Raising depends on the kernel services alone,
// so any layer may raise; showing a record is the application's
// (app/core/errordialog.h). The debug log is debuglog/log.h.
#pragma once

#include <cstdint>
#include <string>

namespace qtv_d3d {

// Carries no data: constructing it fills errorRecord.
class exception {
  public:
    exception(const char* message, const char* file, std::int32_t line);
};

class quitException {
  public:
    explicit quitException(std::int32_t exitCode) : code(exitCode) {}
    std::int32_t code;
};

} // namespace qtv_d3d

namespace errors {

struct ErrorRecord {
    char message[1024];
    std::int32_t line;
    char file[1024];
};

} // namespace errors

// The most recent failure; zero at start, only ever overwritten.
extern errors::ErrorRecord errorRecord;

namespace errors {

inline constexpr const char* kAutoThrowD3d = "auto throw(d3d)";
inline constexpr const char* kAutoThrowLogic = "auto throw(logic)";

// Raises qtv_d3d::exception with the given texts.
[[noreturn]] void raiseError(const char* message, const char* file, std::int32_t line);
// Raises "auto throw(d3d)" at file and line unless result is 0 (success).
void checkD3d(std::int32_t result, const char* file, std::int32_t line);

// The record as "File:", "Line:", "Message:" lines, each ending in a newline.
std::string errorRecordText();

// Writes errorRecordText() to standard error.
void writeRecordToStderr();

} // namespace errors
