// The GLSL dialects the layer's programs are compiled in. The generators
// (ffpipeline.h, shadertoglsl.h) write one form, GLSL 3.30 core, for an
// OpenGL 3.3 core context; a context of OpenGL ES 3.0 (WebGL 2 in a browser)
// takes the same program in GLSL ES 3.00.
#pragma once

#include <string>

namespace platform::d3d9 {

enum class GlslDialect {
    core330, // "#version 330 core": desktop OpenGL 3.3 core
    es300,   // "#version 300 es": OpenGL ES 3.0, WebGL 2
};

// Writes the generated source in the dialect: for core330 unchanged; for
// es300 with the ES version line and default precisions (float and int
// highp: an ES fragment shader has no default float precision, and uniforms
// that both stages declare must agree in precision) and the point-sprite
// coordinate flipped in t (device.cpp), and vertex colours read from bytes
// B, G, R, A (the layer's D3DCOLOR attributes, which ES cannot reorder). False with a reason when
// source does not start with the core 3.30 version line.
bool toGlslDialect(GlslDialect dialect, const std::string& source, std::string& out, std::string& error);

} // namespace platform::d3d9
