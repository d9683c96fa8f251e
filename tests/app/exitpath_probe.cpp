// runDemo for the exit-path tests: leaves the way RIZA3V_PROBE says.
#include "app/demo.h"
#include "debuglog/log.h"
#include "errors/errors.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {
volatile int* volatile nowhere = nullptr;
}

void runDemo(int wordCount, char* words) {
    const char* mode = std::getenv("RIZA3V_PROBE");
    logPrintf("words %d [%s]", wordCount, words);
    if (mode == nullptr || std::strcmp(mode, "return") == 0) {
        return;
    }
    if (std::strcmp(mode, "quit") == 0) {
        throw qtv_d3d::quitException(1);
    }
    if (std::strcmp(mode, "d3d") == 0) {
        errors::raiseError(errors::kAutoThrowD3d, "dxbase", 263);
    }
    if (std::strcmp(mode, "std") == 0) {
        throw std::runtime_error("not one of ours");
    }
    if (std::strcmp(mode, "int") == 0) {
        throw 7;
    }
    if (std::strcmp(mode, "segv") == 0) {
        *nowhere = 1;
    }
    if (std::strcmp(mode, "fpe") == 0) {
        std::raise(SIGFPE);
    }
}
