// The GLSL ES 3.00 form of the layer's programs (the form a WebGL 2 context
// takes) compiled and linked by Mesa through an OpenGL ES 3.0 context: the
// fixed-function programs over the branches of their generator, and the
// show's shaders (the embedded rim programs and the four HLSL files)
// translated from their token code.
#include "platform/d3d9/glsldialect.h"
#include "tests/platform/d3d9/esprograms.h"
#include "tests/support/paths.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl3.h>
#include <gtest/gtest.h>

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

TEST_F(GlslEs, TheFixedFunctionProgramsAndTheShowsShadersCompileAndLink) {
    std::vector<platform::d3d9::test::ProgramPair> pairs;
    std::string error;
    ASSERT_TRUE(platform::d3d9::test::esCheckPrograms(tests::support::sourcePath(""), pairs, error)) << error;
    for (const auto& p : pairs) {
        EXPECT_TRUE(linksAsEs(p.vertex, p.pixel)) << p.name;
    }
}

} // namespace
