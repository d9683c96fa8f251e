// OpenGL 3.3 core and OpenGL ES 3.0 (WebGL 2) entry points of the graphics
// layer, loaded at run time through the context's proc-address function (EGL,
// SDL or Emscripten's WebGL), so nothing links against a particular GL
// library. Calls go through gl::Name(...). The types and constants are
// desktop OpenGL's: Emscripten ships them as <GL/glext.h>, Mesa as
// <GL/glcorearb.h>.
#pragma once

// The one place the two toolchains differ: which file declares the types.
#ifdef __EMSCRIPTEN__
#include <GL/gl.h>
#include <GL/glext.h>
// glext.h has pointer types for OpenGL 1.2 and later only.
using PFNGLGETERRORPROC = decltype(&glGetError);
using PFNGLGETSTRINGPROC = decltype(&glGetString);
using PFNGLGETINTEGERVPROC = decltype(&glGetIntegerv);
using PFNGLGETFLOATVPROC = decltype(&glGetFloatv);
using PFNGLENABLEPROC = decltype(&glEnable);
using PFNGLDISABLEPROC = decltype(&glDisable);
using PFNGLVIEWPORTPROC = decltype(&glViewport);
using PFNGLSCISSORPROC = decltype(&glScissor);
using PFNGLDEPTHRANGEPROC = decltype(&glDepthRange);
using PFNGLCLEARCOLORPROC = decltype(&glClearColor);
using PFNGLCLEARDEPTHPROC = decltype(&glClearDepth);
using PFNGLCLEARSTENCILPROC = decltype(&glClearStencil);
using PFNGLCLEARPROC = decltype(&glClear);
using PFNGLCOLORMASKPROC = decltype(&glColorMask);
using PFNGLDEPTHMASKPROC = decltype(&glDepthMask);
using PFNGLSTENCILMASKPROC = decltype(&glStencilMask);
using PFNGLDEPTHFUNCPROC = decltype(&glDepthFunc);
using PFNGLBLENDFUNCPROC = decltype(&glBlendFunc);
using PFNGLCULLFACEPROC = decltype(&glCullFace);
using PFNGLFRONTFACEPROC = decltype(&glFrontFace);
using PFNGLPOLYGONMODEPROC = decltype(&glPolygonMode);
using PFNGLPIXELSTOREIPROC = decltype(&glPixelStorei);
using PFNGLREADPIXELSPROC = decltype(&glReadPixels);
using PFNGLREADBUFFERPROC = decltype(&glReadBuffer);
using PFNGLFINISHPROC = decltype(&glFinish);
using PFNGLGENTEXTURESPROC = decltype(&glGenTextures);
using PFNGLDELETETEXTURESPROC = decltype(&glDeleteTextures);
using PFNGLBINDTEXTUREPROC = decltype(&glBindTexture);
using PFNGLTEXIMAGE2DPROC = decltype(&glTexImage2D);
using PFNGLTEXSUBIMAGE2DPROC = decltype(&glTexSubImage2D);
using PFNGLGETTEXIMAGEPROC = decltype(&glGetTexImage);
using PFNGLTEXPARAMETERIPROC = decltype(&glTexParameteri);
using PFNGLDRAWARRAYSPROC = decltype(&glDrawArrays);
using PFNGLDRAWELEMENTSPROC = decltype(&glDrawElements);
#else
#include <GL/glcorearb.h>
#endif

#define RIZA3V_GL_FUNCTIONS(X)                                                                                         \
    X(PFNGLGETERRORPROC, GetError)                                                                                     \
    X(PFNGLGETSTRINGPROC, GetString)                                                                                   \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                                                               \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                                                                   \
    X(PFNGLENABLEPROC, Enable)                                                                                         \
    X(PFNGLDISABLEPROC, Disable)                                                                                       \
    X(PFNGLVIEWPORTPROC, Viewport)                                                                                     \
    X(PFNGLSCISSORPROC, Scissor)                                                                                       \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                                                                 \
    X(PFNGLCLEARSTENCILPROC, ClearStencil)                                                                             \
    X(PFNGLCLEARPROC, Clear)                                                                                           \
    X(PFNGLCOLORMASKPROC, ColorMask)                                                                                   \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                                                                   \
    X(PFNGLSTENCILMASKPROC, StencilMask)                                                                               \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                                                                   \
    X(PFNGLBLENDFUNCPROC, BlendFunc)                                                                                   \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                                                           \
    X(PFNGLCULLFACEPROC, CullFace)                                                                                     \
    X(PFNGLFRONTFACEPROC, FrontFace)                                                                                   \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                                               \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                                                                 \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                                                                 \
    X(PFNGLFINISHPROC, Finish)                                                                                         \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                                                               \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                                         \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                                                               \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                                           \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                                                 \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                                                           \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                                                           \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                                                                               \
    X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                                                                         \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                                                                               \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                                                                   \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                                       \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                                                 \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                                       \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                                             \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                                       \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                                         \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                                                       \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                                                     \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                                               \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                                                     \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                                               \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                                                                 \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                                           \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                                                                 \
    X(PFNGLBUFFERDATAPROC, BufferData)                                                                                 \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                                                           \
    X(PFNGLGETBUFFERSUBDATAPROC, GetBufferSubData)                                                                     \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                                       \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                                                 \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                                       \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                                               \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                                       \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)                                                     \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                                                         \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                                             \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                                             \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                                           \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                                               \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                                                     \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                                             \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                                           \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                                             \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                                               \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                                             \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                                                   \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                                           \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                                                                 \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                                                 \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                                                   \
    X(PFNGLUNIFORM1FPROC, Uniform1f)                                                                                   \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                                                                 \
    X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                                                                 \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                                                                     \
    X(PFNGLUNIFORMMATRIX3FVPROC, UniformMatrix3fv)                                                                     \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                                                 \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)

// Desktop OpenGL only: absent from OpenGL ES 3.0 and WebGL 2, whose contexts
// leave them null and take the ES entries below or another way round.
#define RIZA3V_GL_DESKTOP_FUNCTIONS(X)                                                                                 \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                                                                 \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                                                                 \
    X(PFNGLPOLYGONMODEPROC, PolygonMode)                                                                               \
    X(PFNGLPROVOKINGVERTEXPROC, ProvokingVertex)                                                                       \
    X(PFNGLGETTEXIMAGEPROC, GetTexImage)                                                                               \
    X(PFNGLMAPBUFFERRANGEPROC, MapBufferRange)                                                                         \
    X(PFNGLUNMAPBUFFERPROC, UnmapBuffer)                                                                               \
    X(PFNGLPOINTPARAMETERIPROC, PointParameteri)                                                                       \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)

// OpenGL ES 3.0 only (desktop OpenGL has them from 4.1): null on a 3.3 core context.
#define RIZA3V_GL_ES_FUNCTIONS(X)                                                                                      \
    X(PFNGLCLEARDEPTHFPROC, ClearDepthf)                                                                               \
    X(PFNGLDEPTHRANGEFPROC, DepthRangef)

namespace gl {

#define RIZA3V_GL_DECLARE(type, name) extern type name;
RIZA3V_GL_FUNCTIONS(RIZA3V_GL_DECLARE)
RIZA3V_GL_DESKTOP_FUNCTIONS(RIZA3V_GL_DECLARE)
RIZA3V_GL_ES_FUNCTIONS(RIZA3V_GL_DECLARE)
#undef RIZA3V_GL_DECLARE

using ProcAddress = void* (*)(const char* name);

enum class Api { desktop33, es30 };

// Loads the common entry points and those of api, leaving the other API's
// null; false (with the missing name) when one is absent.
bool load(ProcAddress getProc, Api api, const char** missing);

// Whether the desktop-only entry points are there (a 3.3 core context).
inline bool isDesktop() {
    return PolygonMode != nullptr;
}

// glClearDepth / glClearDepthf, whichever the context has.
void clearDepth(float depth);
// glDepthRange / glDepthRangef, whichever the context has.
void depthRange(float nearZ, float farZ);

} // namespace gl
