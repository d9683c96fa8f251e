// Where tests find the tree's files and the programs the build made. ctest
// passes both folders in the environment, so that no compile command names a
// tree's own path and a second tree's build reuses the compiler cache.
#pragma once

#include <string>

namespace tests::support {

// `relative` below the source folder, RIZA3V_SOURCE_DIR.
std::string sourcePath(const std::string& relative);
// `relative` below the build folder, RIZA3V_BUILD_DIR.
std::string buildPath(const std::string& relative);

} // namespace tests::support
