#include "platform/kernel/faults.h"

#include <csignal>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace platform::kernel {

namespace {

// Set once before the handlers are installed; read by them only.
const char* faultText = "";
int faultStatus = 1;

// Async-signal-safe calls only.
void onFault(int) {
    ssize_t written = ::write(STDERR_FILENO, faultText, std::strlen(faultText));
    static_cast<void>(written);
    ::_exit(faultStatus);
}

} // namespace

void trapProcessorFaults(const char* text, int status) {
    faultText = text;
    faultStatus = status;
    // A fault from a stack overflow needs a stack of its own to run on.
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

} // namespace platform::kernel
