#include "app/dxmain.h"

#include "app/core/errordialog.h"
#include "debuglog/log.h"
#include "errors/errors.h"
#include "platform/kernel/faults.h"
#include "platform/kernel/kernel.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace app {

HINSTANCE instanceHandle = nullptr;
HINSTANCE previousInstanceHandle = nullptr;

} // namespace app

namespace {

app::ShowFunction entryShow = nullptr;

void catchUnknown() {
    logPrintf("unknown exception catched");
    try {
        errors::raiseError("Couldve been anything..", app::kEntryFile, app::kEntryLine);
    } catch (qtv_d3d::exception&) {
        logPrintf("d3d exception catched");
        showDialog();
    }
}

} // namespace

namespace app {

// A processor fault cannot unwind to the catch clauses on this platform, so
// the kernel writes what those clauses would have logged and shown and ends
// the process with the same status.
void installFaultHandlers() {
    static const char text[] = "unknown exception catched\n"
                               "d3d exception catched\n"
                               "File: dxmain\n"
                               "Line: 44\n"
                               "Message: Couldve been anything..\n";
    platform::kernel::trapProcessorFaults(text, 1);
}

} // namespace app

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int) {
    app::instanceHandle = instance;
    app::previousInstanceHandle = previousInstance;

    const char* tail = commandLine != nullptr ? commandLine : "";
    int wordCount = 1;
    for (const char* c = tail; *c != '\0'; ++c) {
        wordCount += *c == ' ' ? 1 : 0;
    }
    std::vector<char> copy(tail, tail + std::strlen(tail) + 1);

    logPrintf("entering main");
    try {
        try {
            entryShow(wordCount, copy.data());
        } catch (qtv_d3d::quitException quit) {
            logPrintf("quit exception catched");
            return quit.code;
        } catch (qtv_d3d::exception&) {
            logPrintf("d3d exception catched");
            showDialog();
            return 1;
        }
    } catch (...) {
        catchUnknown();
        return 1;
    }
    logPrintf("leaving main");
    return 1;
}

namespace app {

int runEntry(int argc, char** argv, ShowFunction show) {
    entryShow = show;
    installFaultHandlers();
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            tail += ' ';
        }
        tail += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, tail.data(), kShowDefault);
}

} // namespace app
