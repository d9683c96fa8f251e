// The process entry point and its catch clauses.
#pragma once

#include "platform/kernel/windef.h"

namespace app {

extern HINSTANCE instanceHandle;
extern HINSTANCE previousInstanceHandle;

// Where the entry point raises for an exception of unknown type.
inline constexpr const char* kEntryFile = "dxmain";
inline constexpr int kEntryLine = 44;

// The show the entry point runs: builds everything and runs it; ends the
// process itself, or leaves by an exception.
using ShowFunction = void (*)(int wordCount, char* words);

} // namespace app

// Counts the words of the command tail, logs "entering main" and runs the
// show given to runEntry inside the catch clauses; returns the process exit code.
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

namespace app {

// SW_SHOWDEFAULT, the show command the process entry passes on.
inline constexpr int kShowDefault = 10;

// Turns processor faults (SIGSEGV, SIGFPE, SIGBUS, SIGILL) into the error
// record's "Couldve been anything.." lines and exit status 1.
void installFaultHandlers();

// The process entry: the fault handlers, then WinMain with the arguments
// joined by blanks as the command tail, running `show` (the program's main
// passes runDemo, so this library and the show's do not link each other).
int runEntry(int argc, char** argv, ShowFunction show);

} // namespace app
