// The show's song: the XM module that tools/songgen writes when the project
// is built, carried in the executable as a block of bytes.
#pragma once

#include <cstddef>

namespace resources {

extern const unsigned char kSongModule[];
extern const std::size_t kSongModuleSize;

} // namespace resources
