#include "platform/d3d9/glsldialect.h"

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
    return true;
}

} // namespace platform::d3d9
