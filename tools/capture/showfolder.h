// Where the show can run: it compiles shaders/*.vhl and shaders/*.phl from its
// working folder at start-up.
#pragma once

#include <string>

namespace capture {

// True when `folder` holds the four shader sources the show reads.
bool hasShowShaders(const std::string& folder);

// The working folder when it has them; otherwise the nearest folder at or
// above the executable's own that has them (build/ beside build/tools/, or
// the repository top); "" when none has. `looked` says where it looked.
std::string findShowFolder(const std::string& workingFolder, const std::string& executable, std::string& looked);

} // namespace capture
