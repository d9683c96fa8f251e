// The GLSL ES 3.00 form of the layer's programs (the form a WebGL 2 context
// takes) compiled and linked by Mesa through an OpenGL ES 3.0 context: the
// fixed-function programs over the branches of their generator, and the
// show's shaders (the embedded rim programs and the four HLSL files)
// translated from their token code.
#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/ffpipeline.h"
#include "platform/d3d9/glsldialect.h"
#include "platform/d3d9/shadertoglsl.h"
#include "resources/shaders/shaderprograms.h"
#include "shadercompiler/asm/assembler.h"
#include "shadercompiler/asm/shaderprogram.h"
#include "shadercompiler/hlsl/compiler.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl3.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace platform::d3d9;

// A surfaceless OpenGL ES 3.0 context on Mesa, current for the tests that
// compile programs.
class GlslEs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        ASSERT_NE(getPlatformDisplay, nullptr);
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        ASSERT_NE(display, EGL_NO_DISPLAY);
        ASSERT_EQ(eglInitialize(display, nullptr, nullptr), EGL_TRUE);
        ASSERT_EQ(eglBindAPI(EGL_OPENGL_ES_API), EGL_TRUE);
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0, EGL_NONE};
        context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
        ASSERT_NE(context, EGL_NO_CONTEXT);
        ASSERT_EQ(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context), EGL_TRUE);
    }
    static void TearDownTestSuite() {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    void SetUp() override {
        ASSERT_NE(context, EGL_NO_CONTEXT);
        const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        ASSERT_EQ(version.rfind("OpenGL ES 3.", 0), 0u) << version;
    }

    static inline EGLDisplay display = EGL_NO_DISPLAY;
    static inline EGLContext context = EGL_NO_CONTEXT;
};

// Compiles generated (3.30 core) source in its ES form; 0 with the log.
GLuint compileEs(GLenum stage, const std::string& source, std::string& log) {
    std::string es;
    if (!toGlslDialect(GlslDialect::es300, source, es, log)) {
        return 0;
    }
    GLuint shader = glCreateShader(stage);
    const char* text = es.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == 0) {
        char info[2048] = {};
        glGetShaderInfoLog(shader, sizeof info, nullptr, info);
        log = std::string(info) + "\n" + es;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// Both stages compile as ES and link into one program; else the log.
testing::AssertionResult linksAsEs(const std::string& vertex, const std::string& pixel) {
    std::string log;
    const GLuint vs = compileEs(GL_VERTEX_SHADER, vertex, log);
    if (vs == 0) {
        return testing::AssertionFailure() << "vertex stage: " << log;
    }
    const GLuint ps = compileEs(GL_FRAGMENT_SHADER, pixel, log);
    if (ps == 0) {
        glDeleteShader(vs);
        return testing::AssertionFailure() << "pixel stage: " << log;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, ps);
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    char info[2048] = {};
    glGetProgramInfoLog(program, sizeof info, nullptr, info);
    glDeleteProgram(program);
    glDeleteShader(vs);
    glDeleteShader(ps);
    if (ok == 0) {
        return testing::AssertionFailure() << "link: " << info;
    }
    return testing::AssertionSuccess();
}

TEST(GlslDialect, CoreIsUnchangedEsGetsItsVersionAndPrecisionsAndOtherSourcesAreRefused) {
    const std::string core = "#version 330 core\nvoid main() {}\n";
    std::string out;
    std::string error;
    ASSERT_TRUE(toGlslDialect(GlslDialect::core330, core, out, error));
    EXPECT_EQ(out, core);
    ASSERT_TRUE(toGlslDialect(GlslDialect::es300, core, out, error));
    EXPECT_EQ(out, "#version 300 es\nprecision highp float;\nprecision highp int;\nvoid main() {}\n");
    for (const char* other : {"", "void main() {}\n", "#version 300 es\nvoid main() {}\n", "#version 330\n"}) {
        for (GlslDialect dialect : {GlslDialect::core330, GlslDialect::es300}) {
            error.clear();
            EXPECT_FALSE(toGlslDialect(dialect, other, out, error)) << other;
            EXPECT_NE(error, "") << other;
        }
    }
}

FfVertexKey vertexKey() {
    FfVertexKey k{};
    k.hasDiffuse = 1;
    k.texcoordSets = 1;
    k.texcoordOutputs = 1;
    return k;
}

FfPixelKey pixelKey(unsigned colorOp, unsigned arg1, unsigned arg2) {
    FfPixelKey p{};
    p.stageCount = 1;
    p.stages[0] = {static_cast<std::uint8_t>(colorOp),
                   static_cast<std::uint8_t>(arg1),
                   static_cast<std::uint8_t>(arg2),
                   static_cast<std::uint8_t>(D3DTOP_MODULATE),
                   D3DTA_TEXTURE,
                   D3DTA_DIFFUSE,
                   0};
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
    twoStages.stages[1] = twoStages.stages[0];
    twoStages.stages[1].colorArg2 = D3DTA_CURRENT;
    twoStages.stages[1].alphaOp = D3DTOP_DISABLE;
    twoStages.stages[1].texcoordIndex = 1;
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

TEST_F(GlslEs, FixedFunctionProgramsCompileAndLink) {
    for (const FfCase& c : ffCases()) {
        EXPECT_TRUE(linksAsEs(ffVertexSource(c.vertex), ffPixelSource(c.pixel))) << c.name;
    }
}

bool translate(const shaderasm::Program& program, std::string& glsl, std::string& error) {
    std::vector<unsigned> defined;
    return translateToGlsl(program, glsl, defined, error);
}

std::string translateTokens(const DWORD* tokens, UINT count) {
    shaderasm::Program program;
    std::string error;
    std::string glsl;
    const std::vector<shaderasm::Token> t(tokens, tokens + count);
    EXPECT_TRUE(shaderasm::decode(t.data(), t.size(), program, error)) << error;
    EXPECT_TRUE(translate(program, glsl, error)) << error;
    return glsl;
}

std::string translateHlsl(const char* file, const char* profile) {
    std::ifstream in(std::string(RIZA3V_SOURCE_DIR) + "/shaders/" + file);
    std::stringstream text;
    text << in.rdbuf();
    const hlsl::CompileResult compiled = hlsl::compile(text.str(), file, "main", profile);
    EXPECT_TRUE(compiled.ok) << file << ": " << compiled.message;
    shaderasm::Program program;
    std::string error;
    std::string glsl;
    EXPECT_TRUE(shaderasm::parse(compiled.assembly, program, error)) << file << ": " << error;
    EXPECT_TRUE(translate(program, glsl, error)) << file << ": " << error;
    return glsl;
}

TEST_F(GlslEs, TheShowsShadersCompileAndLinkInTheirPairs) {
    using namespace resources;
    EXPECT_TRUE(linksAsEs(translateTokens(rimVertexProgram, rimVertexProgramTokenCount),
                          translateTokens(rimPixelProgram, rimPixelProgramTokenCount)))
        << "rim, vs_2_0 and ps_2_0";
    EXPECT_TRUE(linksAsEs(translateTokens(fallbackVertexProgram, fallbackVertexProgramTokenCount),
                          translateTokens(fallbackPixelProgram, fallbackPixelProgramTokenCount)))
        << "rim, vs_1_1 and ps_1_3";
    EXPECT_TRUE(linksAsEs(translateHlsl("vshader_mojs.vhl", "vs_2_0"), translateHlsl("pshader_mojs.phl", "ps_2_0")))
        << "mojs";
    EXPECT_TRUE(linksAsEs(translateHlsl("vshader_mojs2.vhl", "vs_2_0"), translateHlsl("pshader_mojs2.phl", "ps_2_0")))
        << "mojs2";
    // A translated pixel shader with a generated vertex stage that feeds all sets.
    FfVertexKey feedsAll = vertexKey();
    feedsAll.texcoordOutputs = 0xFF;
    EXPECT_TRUE(
        linksAsEs(ffVertexSource(feedsAll), translateTokens(fallbackPixelProgram, fallbackPixelProgramTokenCount)))
        << "generated vertex stage, ps_1_3";
}

} // namespace
