// The programs whose GLSL ES 3.00 form is checked, by Mesa's OpenGL ES here
// and by a browser's WebGL 2 in the web tests: fixed-function programs over
// the branches of their generator, and the show's shaders (the embedded rim
// programs, the four HLSL files) in the pairs the show draws them in.
#pragma once

#include <string>
#include <vector>

namespace platform::d3d9::test {

struct ProgramPair {
    std::string name;
    std::string vertex; // as the layer generates it: GLSL 3.30 core
    std::string pixel;
};

// False with the reason when one of the show's shaders does not compile from
// its file (under sourceDir/shaders) or translate from its token code.
bool esCheckPrograms(const std::string& sourceDir, std::vector<ProgramPair>& pairs, std::string& error);

} // namespace platform::d3d9::test
