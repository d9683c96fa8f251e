#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tests::support {

Outcome runShell(const std::string& command) {
    // One file per test process: CTest runs the cases side by side.
    const std::string errFile = testing::TempDir() + "stderr_" + std::to_string(getpid()) + ".txt";
    Outcome r;
    FILE* pipe = popen(("{ " + command + "\n} 2>'" + errFile + "'").c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        r.out.append(chunk.data(), n);
    }
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.err = fileText(errFile);
    std::remove(errFile.c_str());
    return r;
}

std::string stderrOf(void (*body)()) {
    ::testing::internal::CaptureStderr();
    body();
    return ::testing::internal::GetCapturedStderr();
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace tests::support
