#include "tests/support/paths.h"

#include <cstdio>
#include <cstdlib>

namespace tests::support {
namespace {

std::string below(const char* variable, const std::string& relative) {
    const char* folder = std::getenv(variable);
    if (folder == nullptr || *folder == '\0') {
        std::fprintf(stderr, "%s is not set: run the tests through ctest, or set it to the folder\n", variable);
        std::exit(2);
    }
    return std::string(folder) + "/" + relative;
}

} // namespace

std::string sourcePath(const std::string& relative) {
    return below("RIZA3V_SOURCE_DIR", relative);
}

std::string buildPath(const std::string& relative) {
    return below("RIZA3V_BUILD_DIR", relative);
}

} // namespace tests::support
