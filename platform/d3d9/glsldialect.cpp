#include "platform/d3d9/glsldialect.h"

#include <cstring>

namespace platform::d3d9 {

namespace {

constexpr char kCoreVersionLine[] = "#version 330 core\n";

// GLSL ES 3.00: the version line comes first; highp is required of ES 3.0
// fragment shaders as well, so it is always there.
constexpr char kEsPrologue[] = "#version 300 es\nprecision highp float;\nprecision highp int;\n";

} // namespace

bool toGlslDialect(GlslDialect dialect, const std::string& source, std::string& out, std::string& error) {
    const std::string core = kCoreVersionLine;
    if (source.compare(0, core.size(), core) != 0) {
        error = "generated GLSL does not start with \"#version 330 core\"";
        return false;
    }
    if (dialect == GlslDialect::core330) {
        out = source;
        return true;
    }
    out = kEsPrologue + source.substr(core.size());
    // The layer renders upside down and sets the desktop sprite origin to the
    // lower left; ES fixes it at the upper left, so t is read flipped.
    const std::string coord = "gl_PointCoord";
    const std::string flipped = "vec2(gl_PointCoord.x, 1.0 - gl_PointCoord.y)";
    for (std::size_t at = out.find(coord); at != std::string::npos; at = out.find(coord, at + flipped.size())) {
        out.replace(at, coord.size(), flipped);
    }
    // Vertex colours (locations 2 and 3) arrive as D3DCOLOR's bytes B, G, R,
    // A: ES has no GL_BGRA attribute size, so the program swaps them.
    for (const char* location : {"layout(location = 2) in vec4 ", "layout(location = 3) in vec4 "}) {
        const std::size_t at = out.find(location);
        if (at == std::string::npos) {
            continue;
        }
        const std::size_t nameAt = at + std::strlen(location);
        const std::size_t end = out.find(';', nameAt);
        const std::string name = out.substr(nameAt, end - nameAt);
        out.replace(nameAt, end - nameAt + 1, name + "Bgra;\n#define " + name + " " + name + "Bgra.bgra");
    }
    return true;
}

} // namespace platform::d3d9
