#include "app/dxmain.h"

#include "app/core/errordialog.h"
#include "debuglog/log.h"
#include "errors/errors.h"
#include "platform/kernel/kernel.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

HINSTANCE instanceHandle = nullptr;
HINSTANCE previousInstanceHandle = nullptr;

namespace {

ShowFunction entryShow = nullptr;

void catchUnknown() {
    logPrintf("unknown exception catched");
    try {
        raiseError("Couldve been anything..", kEntryFile, kEntryLine);
    } catch (qtv_d3d::exception&) {
        logPrintf("d3d exception catched");
        showDialog();
    }
}

// A processor fault cannot unwind to the catch clauses on this platform, so
// the handler writes what those clauses would have logged and shown, with
// async-signal-safe calls only, and ends the process with the same status.
void onFault(int) {
    static const char text[] = "unknown exception catched\n"
                               "d3d exception catched\n"
                               "File: dxmain\n"
                               "Line: 44\n"
                               "Message: Couldve been anything..\n";
    ssize_t written = ::write(STDERR_FILENO, text, sizeof text - 1);
    static_cast<void>(written);
    ::_exit(1);
}

} // namespace

void installFaultHandlers() {
    static std::vector<char> altStack(1 << 16);
    stack_t ss{};
    ss.ss_sp = altStack.data();
    ss.ss_size = altStack.size();
    sigaltstack(&ss, nullptr);
    struct sigaction action {};
    action.sa_handler = onFault;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGFPE, SIGBUS, SIGILL}) {
        sigaction(sig, &action, nullptr);
    }
}

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int) {
    instanceHandle = instance;
    previousInstanceHandle = previousInstance;

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
