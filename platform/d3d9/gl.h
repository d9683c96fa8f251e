// OpenGL 3.3 core entry points of the graphics layer, loaded at run time
// through the context's proc-address function (EGL or SDL), so nothing links
// against a particular GL library. Calls go through gl::Name(...).
#pragma once

#include <GL/glcorearb.h>

#define RIZA3V_GL_FUNCTIONS(X)                                                                                         \
    X(PFNGLGETERRORPROC, GetError)                                                                                     \
    X(PFNGLGETSTRINGPROC, GetString)                                                                                   \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                                                               \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                                                                   \
    X(PFNGLENABLEPROC, Enable)                                                                                         \
    X(PFNGLDISABLEPROC, Disable)                                                                                       \
    X(PFNGLVIEWPORTPROC, Viewport)                                                                                     \
    X(PFNGLSCISSORPROC, Scissor)                                                                                       \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                                                                 \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                                                                 \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                                                                 \
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
    X(PFNGLPOLYGONMODEPROC, PolygonMode)                                                                               \
    X(PFNGLPROVOKINGVERTEXPROC, ProvokingVertex)                                                                       \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                                               \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                                                                 \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                                                                 \
    X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                                                                 \
    X(PFNGLFINISHPROC, Finish)                                                                                         \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                                                               \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                                         \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                                                               \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                                           \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                                                 \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                                                           \
    X(PFNGLGETTEXIMAGEPROC, GetTexImage)                                                                               \
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
    X(PFNGLMAPBUFFERRANGEPROC, MapBufferRange)                                                                         \
    X(PFNGLUNMAPBUFFERPROC, UnmapBuffer)                                                                               \
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
    X(PFNGLPOINTPARAMETERIPROC, PointParameteri)                                                                       \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                                                 \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)

namespace platform::d3d9::gl {

#define RIZA3V_GL_DECLARE(type, name) extern type name;
RIZA3V_GL_FUNCTIONS(RIZA3V_GL_DECLARE)
#undef RIZA3V_GL_DECLARE

using ProcAddress = void* (*)(const char* name);

// Loads every entry point above; false (with the missing name) when one is absent.
bool load(ProcAddress getProc, const char** missing);

} // namespace platform::d3d9::gl
