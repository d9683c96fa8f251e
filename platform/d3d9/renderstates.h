// The subset of render, texture-stage and sampler states this layer accepts,
// each with the values it can honour and the platform's documented default;
// a render state also names the uniform group (ffpipeline.h's programs) that
// a change of it makes stale. Adding a render state is one row of the table
// in renderstates.cpp and the code that reads the state.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <array>
#include <cstddef>

namespace platform::d3d9 {

// Uniforms a linked program is sent in groups; a group is sent again when a
// call has changed something in it since the program last had it.
enum UniformGroup {
    kTransforms,
    kViewport,
    kMaterial,
    kLights,
    kTextureFactor,
    kPoints,
    kVsConstants,
    kPsConstants,
    kUniformGroupCount,
    kNoUniformGroup = kUniformGroupCount
};

using RenderStates = std::array<DWORD, 256>;
using StageStates = std::array<DWORD, 33>;
using SamplerStates = std::array<DWORD, 14>;

struct RenderStateRule {
    D3DRENDERSTATETYPE state;
    DWORD min; // the values accepted: min..max
    DWORD max;
    DWORD initial;     // the platform's default
    UniformGroup sent; // the group a change makes stale, or kNoUniformGroup
};

// The rule for a render state; null for a state outside the subset.
const RenderStateRule* renderStateRule(D3DRENDERSTATETYPE state);
// Every render state at its default (0 for those outside the subset). The
// depth test's default depends on the device (an automatic depth surface).
void renderStateDefaults(RenderStates& states);

// Whether the layer honours this value of a texture-stage or sampler state.
bool stageStateAccepted(D3DTEXTURESTAGESTATETYPE type, DWORD value);
bool samplerStateAccepted(D3DSAMPLERSTATETYPE type, DWORD value);
// The defaults of stage `stage` and of every sampler.
void stageStateDefaults(DWORD stage, StageStates& states);
void samplerStateDefaults(SamplerStates& states);

} // namespace platform::d3d9
