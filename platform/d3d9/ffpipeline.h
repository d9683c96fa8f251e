// GLSL programs that emulate the fixed-function pipeline, generated from the
// part of the device state that changes the code (the keys below); values
// that only change numbers (matrices, colours, light positions) are uniforms.
//
// Interface shared with translated shaders: vertex inputs at the locations of
// resources.h; varyings vColor0, vColor1 and vTex0..vTex7; uniforms named in
// kUniformNames.
#pragma once

#include <cstdint>
#include <string>

namespace platform::d3d9 {

inline constexpr int kMaxStages = 8;
inline constexpr int kMaxLights = 8;

struct FfVertexKey {
    std::uint8_t pretransformed;
    std::uint8_t hasNormal;
    std::uint8_t hasDiffuse;
    std::uint8_t hasSpecular;
    std::uint8_t hasPointSize;
    std::uint8_t texcoordSets;
    std::uint8_t lighting;
    std::uint8_t localViewer;
    std::uint8_t normalizeNormals;
    std::uint8_t colorVertex;
    std::uint8_t diffuseSource;
    std::uint8_t specularSource;
    std::uint8_t ambientSource;
    std::uint8_t emissiveSource;
    std::uint8_t pointScale;
    std::uint8_t lightCount;
    std::uint8_t lightDirectional[kMaxLights];
    // Bit n: the pixel stage reads vTex<n>. A generated pixel stage reads only
    // the sets its stages use; on software GL every varying costs per pixel.
    std::uint8_t texcoordOutputs;
};

struct FfStageKey {
    std::uint8_t colorOp;
    std::uint8_t colorArg1;
    std::uint8_t colorArg2;
    std::uint8_t alphaOp;
    std::uint8_t alphaArg1;
    std::uint8_t alphaArg2;
    std::uint8_t texcoordIndex;
};

struct FfPixelKey {
    std::uint8_t stageCount; // stages before the first disabled one
    std::uint8_t specularEnable;
    std::uint8_t pointSprite;
    FfStageKey stages[kMaxStages];
};

// The vTex<n> sets a generated pixel stage reads (bit n).
unsigned ffPixelTexcoordInputs(const FfPixelKey& key);

std::string ffVertexSource(const FfVertexKey& key);
std::string ffPixelSource(const FfPixelKey& key);

// Position fix-up shared by every vertex program: Direct3D clip space to GL
// (y flipped for rendering into textures, half-pixel offset, z from 0..w to
// -w..w). Defines vec4 d3dToGl(vec4 clip).
extern const char* const kPositionFixup;

} // namespace platform::d3d9
