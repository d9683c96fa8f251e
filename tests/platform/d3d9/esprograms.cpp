#include "tests/platform/d3d9/esprograms.h"

#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/ffpipeline.h"
#include "platform/d3d9/shadertoglsl.h"
#include "resources/shaders/shaderprograms.h"
#include "shadercompiler/asm/assembler.h"
#include "shadercompiler/asm/shaderprogram.h"
#include "shadercompiler/hlsl/compiler.h"

#include <fstream>
#include <sstream>

namespace platform::d3d9::test {
namespace {

using namespace platform::d3d9;

FfVertexKey vertexKey() {
    FfVertexKey k{};
    k.hasDiffuse = 1;
    k.texcoordSets = 1;
    k.texcoordOutputs = 1;
    return k;
}

FfPixelKey pixelKey(std::uint8_t colorOp, std::uint8_t arg1, std::uint8_t arg2) {
    FfPixelKey p{};
    p.stageCount = 1;
    p.stages[0] = {colorOp, arg1, arg2, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0};
    return p;
}

struct FfCase {
    const char* name;
    FfVertexKey vertex;
    FfPixelKey pixel;
};

std::vector<FfCase> ffCases() {
    std::vector<FfCase> cases;
    // Every colour operation the generator writes, with the argument forms.
    for (unsigned op : {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X,
                        D3DTOP_ADD, D3DTOP_ADDSIGNED, D3DTOP_SUBTRACT, D3DTOP_BLENDDIFFUSEALPHA,
                        D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDFACTORALPHA}) {
        cases.push_back({"colour operation", vertexKey(),
                         pixelKey(op, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE)});
    }
    FfPixelKey twoStages = pixelKey(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_SPECULAR);
    twoStages.stageCount = 2;
    // Texture x current from the second set, alpha disabled.
    twoStages.stages[1] = {
        D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 1};
    twoStages.specularEnable = 1;
    FfVertexKey twoSets = vertexKey();
    twoSets.texcoordSets = 1; // the second set is missing from the vertex
    twoSets.texcoordOutputs = 3;
    twoSets.hasSpecular = 1;
    cases.push_back({"two stages, a missing set, specular", twoSets, twoStages});

    FfVertexKey pretransformed = vertexKey();
    pretransformed.pretransformed = 1;
    cases.push_back({"pretransformed", pretransformed, pixelKey(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE)});

    FfPixelKey untextured{};
    FfVertexKey lit = vertexKey();
    lit.texcoordOutputs = 0;
    lit.hasNormal = 1;
    lit.lighting = 1;
    lit.normalizeNormals = 1;
    lit.localViewer = 1;
    lit.colorVertex = 1;
    lit.diffuseSource = D3DMCS_COLOR1;
    lit.specularSource = D3DMCS_COLOR2;
    lit.ambientSource = D3DMCS_MATERIAL;
    lit.emissiveSource = D3DMCS_MATERIAL;
    lit.lightCount = 3;
    lit.lightDirectional[0] = 1;
    cases.push_back({"lit by directional and point lights", lit, untextured});

    FfVertexKey sprites = vertexKey();
    sprites.texcoordOutputs = 0;
    sprites.hasPointSize = 1;
    sprites.pointScale = 1;
    FfPixelKey sprite = pixelKey(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    sprite.pointSprite = 1;
    cases.push_back({"scaled point sprites", sprites, sprite});
    return cases;
}

bool translateTokens(const char* name, const DWORD* tokens, UINT count, std::string& glsl, std::string& error) {
    shadercompiler::assembler::Program program;
    std::vector<unsigned> defined;
    const std::vector<shadercompiler::assembler::Token> t(tokens, tokens + count);
    if (!shadercompiler::assembler::decode(t.data(), t.size(), program, error) ||
        !translateToGlsl(program, glsl, defined, error)) {
        error = std::string(name) + ": " + error;
        return false;
    }
    return true;
}

bool translateHlsl(const std::string& sourceDir, const char* file, const char* profile, std::string& glsl,
                   std::string& error) {
    std::ifstream in(sourceDir + "/shaders/" + file);
    std::stringstream text;
    text << in.rdbuf();
    const shadercompiler::hlsl::CompileResult compiled =
        shadercompiler::hlsl::compile(text.str(), file, "main", profile);
    shadercompiler::assembler::Program program;
    std::vector<unsigned> defined;
    if (!compiled.ok) {
        error = compiled.message;
    } else if (shadercompiler::assembler::parse(compiled.assembly, program, error) &&
               translateToGlsl(program, glsl, defined, error)) {
        return true;
    }
    error = std::string(file) + ": " + error;
    return false;
}

} // namespace

bool esCheckPrograms(const std::string& sourceDir, std::vector<ProgramPair>& pairs, std::string& error) {
    for (const FfCase& c : ffCases()) {
        pairs.push_back({std::string("fixed function: ") + c.name, ffVertexSource(c.vertex), ffPixelSource(c.pixel)});
    }
    using namespace resources;
    ProgramPair rim{"rim, vs_2_0 and ps_2_0", "", ""};
    ProgramPair fallback{"rim, vs_1_1 and ps_1_3", "", ""};
    ProgramPair mojs{"mojs", "", ""};
    ProgramPair mojs2{"mojs2", "", ""};
    if (!translateTokens("kRimVertexProgram", kRimVertexProgram, kRimVertexProgramTokenCount, rim.vertex, error) ||
        !translateTokens("kRimPixelProgram", kRimPixelProgram, kRimPixelProgramTokenCount, rim.pixel, error) ||
        !translateTokens("kFallbackVertexProgram", kFallbackVertexProgram, kFallbackVertexProgramTokenCount,
                         fallback.vertex, error) ||
        !translateTokens("kFallbackPixelProgram", kFallbackPixelProgram, kFallbackPixelProgramTokenCount,
                         fallback.pixel, error) ||
        !translateHlsl(sourceDir, "vshader_mojs.vhl", "vs_2_0", mojs.vertex, error) ||
        !translateHlsl(sourceDir, "pshader_mojs.phl", "ps_2_0", mojs.pixel, error) ||
        !translateHlsl(sourceDir, "vshader_mojs2.vhl", "vs_2_0", mojs2.vertex, error) ||
        !translateHlsl(sourceDir, "pshader_mojs2.phl", "ps_2_0", mojs2.pixel, error)) {
        return false;
    }
    // A translated pixel shader after a generated vertex stage that feeds all sets.
    FfVertexKey feedsAll = vertexKey();
    feedsAll.texcoordOutputs = 0xFF;
    ProgramPair mixed{"generated vertex stage, ps_1_3", ffVertexSource(feedsAll), fallback.pixel};
    pairs.insert(pairs.end(), {rim, fallback, mojs, mojs2, mixed});
    return true;
}

} // namespace platform::d3d9::test
