// Processor faults (an invalid address, a division fault, an illegal
// instruction). On the platform the show was written for they arrive as
// exceptions its catch-all clauses handle; here they are signals that cannot
// unwind, so the program hands over beforehand what its clauses would have
// written. faults_posix.cpp traps the signals; in the browser build
// (faults_web.cpp) a fault traps the WebAssembly module, which the page
// reports as a stop with status 1, and nothing is installed.
#pragma once

namespace platform::kernel {

// From now on a processor fault writes `text` (kept, not copied) to standard
// error in one write and ends the process with `status`, without unwinding.
void trapProcessorFaults(const char* text, int status);

} // namespace platform::kernel
