// Programs run by tests as processes, through sh.
#pragma once

#include <string>

namespace tests::support {

struct Outcome {
    int status = -1; // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

// Runs `command` with sh and collects what it wrote on standard output and
// standard error.
Outcome runShell(const std::string& command);

// What `body` writes on standard error (the debug log, on this platform).
std::string stderrOf(void (*body)());

// The whole content of a file; empty when it cannot be read.
std::string fileText(const std::string& path);

} // namespace tests::support
