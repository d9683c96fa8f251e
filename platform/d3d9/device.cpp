#include "platform/d3d9/device.h"

#include "platform/d3d9/translate.h"
#include "platform/win32/clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::d3d9 {
namespace {

PresentHook presentHook = nullptr;
void* presentUser = nullptr;
std::vector<Device*> livePresenters; // devices whose in-flight frames flushPresentHook delivers
std::vector<std::uint8_t> presentScratch;
std::uint64_t deliveringNs = 0; // presentNs of the frame the hook is being handed


DWORD floatBits(float f) {
    DWORD d = 0;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

float bitsFloat(DWORD d) {
    float f = 0;
    std::memcpy(&f, &d, sizeof f);
    return f;
}

D3DMATRIX identityMatrix() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) {
        m.m[i][i] = 1.0f;
    }
    return m;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(a.m[i][k]) * b.m[k][j];
            }
            r.m[i][j] = static_cast<float>(sum);
        }
    }
    return r;
}

// Normals go through the inverse transpose of the upper 3 x 3 of world x view.
// Returned in GL's column-major order for the row-vector convention.
std::array<float, 9> normalMatrix(const D3DMATRIX& m) {
    const float a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const float d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    const float g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    const float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    const float inv = det != 0.0f ? 1.0f / det : 0.0f;
    // Inverse of the 3 x 3 (row-major); with row vectors n' = n x inverse-transpose,
    // which as a GL mat3 (column-major upload of the row-major transpose) is the inverse itself.
    std::array<float, 9> r = {(e * i - f * h) * inv, (c * h - b * i) * inv, (b * f - c * e) * inv,
                              (f * g - d * i) * inv, (a * i - c * g) * inv, (c * d - a * f) * inv,
                              (d * h - e * g) * inv, (b * g - a * h) * inv, (a * e - b * d) * inv};
    return r;
}

GLenum glCompare(DWORD f) { return static_cast<GLenum>(GL_NEVER + (f - D3DCMP_NEVER)); }

// Copies `count` registers of four floats into `registers` from `start` on;
// false, after a log line, for a range outside them.
template <std::size_t N>
bool storeConstants(const char* call, std::array<std::array<float, 4>, N>& registers, UINT start, const float* data,
                    UINT count) {
    // Summed in 64 bits: a start near 2^32 must not wrap around into range.
    if (data == nullptr || std::uint64_t{start} + count > registers.size()) {
        logFailure("%s(%u, %u) outside the %zu registers", call, start, count, N);
        return false;
    }
    std::memcpy(registers[start].data(), data, count * 4 * sizeof(float));
    return true;
}

// The device keeps what it last set in GL: a setting is sent, and counted as
// `calls` state changes, only when it differs from that.
template <typename T, typename Call>
void changeState(T& applied, const T& wanted, std::uint64_t& count, Call&& call, unsigned calls = 1) {
    if (applied != wanted) {
        call();
        applied = wanted;
        count += calls;
    }
}

GLenum glBlend(DWORD b) {
    switch (b) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    default:
        return GL_ONE_MINUS_DST_COLOR;
    }
}

GLenum glBlendOp(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

bool primitiveInfo(D3DPRIMITIVETYPE type, UINT primitives, GLenum& mode, GLsizei& vertices) {
    switch (type) {
    case D3DPT_POINTLIST:
        mode = GL_POINTS;
        vertices = static_cast<GLsizei>(primitives);
        return true;
    case D3DPT_LINELIST:
        mode = GL_LINES;
        vertices = static_cast<GLsizei>(primitives * 2);
        return true;
    case D3DPT_LINESTRIP:
        mode = GL_LINE_STRIP;
        vertices = static_cast<GLsizei>(primitives + 1);
        return true;
    case D3DPT_TRIANGLELIST:
        mode = GL_TRIANGLES;
        vertices = static_cast<GLsizei>(primitives * 3);
        return true;
    case D3DPT_TRIANGLESTRIP:
        mode = GL_TRIANGLE_STRIP;
        vertices = static_cast<GLsizei>(primitives + 2);
        return true;
    case D3DPT_TRIANGLEFAN:
        mode = GL_TRIANGLE_FAN;
        vertices = static_cast<GLsizei>(primitives + 2);
        return true;
    }
    return false;
}

// Render states the layer accepts, each with the values it can honour
// (min..max; a state whose values are all accepted has 0..0xFFFFFFFF).
struct StateRule {
    D3DRENDERSTATETYPE state;
    DWORD min;
    DWORD max;
};
constexpr DWORD kAny = 0xFFFFFFFFu;
constexpr StateRule kStateRules[] = {
    {D3DRS_ZENABLE, 0, 1},
    {D3DRS_FILLMODE, 1, 3},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD, D3DSHADE_GOURAUD},
    {D3DRS_ZWRITEENABLE, 0, 1},
    {D3DRS_ALPHATESTENABLE, 0, 0},
    {D3DRS_LASTPIXEL, 0, 1},
    {D3DRS_SRCBLEND, 1, 10},
    {D3DRS_DESTBLEND, 1, 10},
    {D3DRS_CULLMODE, 1, 3},
    {D3DRS_ZFUNC, 1, 8},
    {D3DRS_ALPHAREF, 0, kAny},
    {D3DRS_ALPHAFUNC, 1, 8},
    {D3DRS_DITHERENABLE, 0, 1},
    {D3DRS_ALPHABLENDENABLE, 0, 1},
    {D3DRS_FOGENABLE, 0, 0},
    {D3DRS_SPECULARENABLE, 0, 1},
    {D3DRS_FOGCOLOR, 0, kAny},
    {D3DRS_FOGTABLEMODE, 0, 3},
    {D3DRS_FOGSTART, 0, kAny},
    {D3DRS_FOGEND, 0, kAny},
    {D3DRS_FOGDENSITY, 0, kAny},
    {D3DRS_RANGEFOGENABLE, 0, 1},
    {D3DRS_STENCILENABLE, 0, 0},
    {D3DRS_TEXTUREFACTOR, 0, kAny},
    {D3DRS_WRAP0, 0, 0},
    {D3DRS_CLIPPING, 0, 1},
    {D3DRS_LIGHTING, 0, 1},
    {D3DRS_AMBIENT, 0, kAny},
    {D3DRS_FOGVERTEXMODE, 0, 3},
    {D3DRS_COLORVERTEX, 0, 1},
    {D3DRS_LOCALVIEWER, 0, 1},
    {D3DRS_NORMALIZENORMALS, 0, 1},
    {D3DRS_DIFFUSEMATERIALSOURCE, 0, 2},
    {D3DRS_SPECULARMATERIALSOURCE, 0, 2},
    {D3DRS_AMBIENTMATERIALSOURCE, 0, 2},
    {D3DRS_EMISSIVEMATERIALSOURCE, 0, 2},
    {D3DRS_VERTEXBLEND, 0, 0},
    {D3DRS_CLIPPLANEENABLE, 0, 0},
    {D3DRS_POINTSIZE, 0, kAny},
    {D3DRS_POINTSIZE_MIN, 0, kAny},
    {D3DRS_POINTSPRITEENABLE, 0, 1},
    {D3DRS_POINTSCALEENABLE, 0, 1},
    {D3DRS_POINTSCALE_A, 0, kAny},
    {D3DRS_POINTSCALE_B, 0, kAny},
    {D3DRS_POINTSCALE_C, 0, kAny},
    {D3DRS_MULTISAMPLEANTIALIAS, 0, 1},
    {D3DRS_MULTISAMPLEMASK, 0, kAny},
    {D3DRS_POINTSIZE_MAX, 0, kAny},
    {D3DRS_COLORWRITEENABLE, 0, 0xF},
    {D3DRS_BLENDOP, 1, 5},
    {D3DRS_SCISSORTESTENABLE, 0, 0},
    {D3DRS_ANTIALIASEDLINEENABLE, 0, 1},
    {D3DRS_SRGBWRITEENABLE, 0, 0},
    {D3DRS_SEPARATEALPHABLENDENABLE, 0, 0},
};

const StateRule* ruleFor(D3DRENDERSTATETYPE state) {
    for (const auto& r : kStateRules) {
        if (r.state == state) {
            return &r;
        }
    }
    return nullptr;
}

bool supportedTextureOp(DWORD op) {
    switch (op) {
    case D3DTOP_DISABLE:
    case D3DTOP_SELECTARG1:
    case D3DTOP_SELECTARG2:
    case D3DTOP_MODULATE:
    case D3DTOP_MODULATE2X:
    case D3DTOP_MODULATE4X:
    case D3DTOP_ADD:
    case D3DTOP_ADDSIGNED:
    case D3DTOP_SUBTRACT:
    case D3DTOP_BLENDDIFFUSEALPHA:
    case D3DTOP_BLENDTEXTUREALPHA:
    case D3DTOP_BLENDFACTORALPHA:
        return true;
    default:
        return false;
    }
}

bool supportedTextureArg(DWORD arg) {
    return (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (arg & D3DTA_SELECTMASK) <= D3DTA_SPECULAR;
}

const char* const kUniformNames[] = {
    "uWorldView",     "uProjection",   "uNormalMatrix",       "uViewport",          "uMaterial", "uPower",
    "uAmbient",       "uLightPosition", "uLightDiffuse",      "uLightSpecular",     "uLightAmbient",
    "uLightAttenuation", "uTextureFactor", "uPointSize",      "uPointScale",        "c",         "pc",
};
enum UniformIndex {
    uWorldView,
    uProjection,
    uNormalMatrix,
    uViewport,
    uMaterial,
    uPower,
    uAmbient,
    uLightPosition,
    uLightDiffuse,
    uLightSpecular,
    uLightAmbient,
    uLightAttenuation,
    uTextureFactor,
    uPointSize,
    uPointScale,
    uVsConstants,
    uPsConstants,
    uSampler0, // .. uSampler0 + 7
};

std::array<float, 4> colorOf(D3DCOLOR c) {
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>(c >> 24) / 255.0f};
}

} // namespace

// ---- creation and lifetime ----

Device::Device(std::shared_ptr<Shared> shared, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps)
    : shared_(std::move(shared)), params_(params), caps_(caps) {
    shared_->device = this;
    livePresenters.push_back(this);
}

Device* Device::create(const D3DPRESENT_PARAMETERS& params, HWND focusWindow, const D3DCAPS9& caps, bool live) {
    std::string error;
    HWND window = params.hDeviceWindow != nullptr ? params.hDeviceWindow : focusWindow;
    PresentMode mode;
    // INTERVAL_DEFAULT waits for the retrace like INTERVAL_ONE.
    mode.vsync = params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
    mode.fullScreen = params.Windowed == FALSE;
    mode.width = static_cast<int>(params.BackBufferWidth);
    mode.height = static_cast<int>(params.BackBufferHeight);
    mode.refreshRate = static_cast<int>(params.FullScreen_RefreshRateInHz);
    auto context = createGlContext(live, window, mode, error);
    if (!context) {
        logFailure("CreateDevice: %s", error.c_str());
        return nullptr;
    }
    auto shared = std::make_shared<Shared>();
    shared->context = std::move(context);
    auto* device = new Device(shared, params, caps);
    if (!device->initialise(error)) {
        logFailure("CreateDevice: %s", error.c_str());
        device->Release();
        return nullptr;
    }
    return device;
}

bool Device::initialise(std::string& error) {
    shared_->context->makeCurrent();
    const FormatInfo* format = colorFormat(params_.BackBufferFormat);
    backBuffer_ = new Texture(shared_, params_.BackBufferWidth, params_.BackBufferHeight, 1, D3DUSAGE_RENDERTARGET,
                              *format, D3DPOOL_DEFAULT);
    IDirect3DSurface9* level = nullptr;
    backBuffer_->GetSurfaceLevel(0, &level);
    backBuffer_->Release(); // the level's reference went to the texture; the device keeps the first one
    backBufferSurface_ = static_cast<Surface*>(level);
    backBufferSurface_->setContainer(this);
    renderTarget_ = backBufferSurface_;
    if (params_.EnableAutoDepthStencil != FALSE) {
        GLenum internal = 0;
        depthFormat(params_.AutoDepthStencilFormat, internal);
        autoDepth_ = new Surface(shared_, this, nullptr, 0, params_.BackBufferWidth, params_.BackBufferHeight,
                                 params_.AutoDepthStencilFormat, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
        if (!autoDepth_->createDepthStorage(internal)) {
            error = "the automatic depth-stencil surface cannot be made";
            return false;
        }
        depthStencil_ = autoDepth_;
    }
    gl::GenVertexArrays(1, &vertexArray_);
    gl::BindVertexArray(vertexArray_);
    gl::GenBuffers(1, &upBuffer_);
    gl::GenSamplers(kMaxStages, samplers_.data());
    for (GLuint s = 0; s < kMaxStages; ++s) {
        gl::BindSampler(s, samplers_[s]);
        samplerDirty_[s] = true;
    }
    // Fixed for the device's life: rendering into textures is always upside
    // down, which turns Direct3D's clockwise front faces counter-clockwise
    // for GL and puts the point-sprite origin at the lower left.
    gl::FrontFace(GL_CCW);
    gl::PointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
    gl::Enable(GL_PROGRAM_POINT_SIZE);
    gl::Enable(GL_SCISSOR_TEST);
    // Flat shading takes the first vertex of a primitive in Direct3D.
    gl::ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    setDefaults();
    if (gl::GetError() != GL_NO_ERROR) {
        error = "GL reported an error while setting up";
        return false;
    }
    return true;
}

// The platform's documented defaults for every state.
void Device::setDefaults() {
    auto rs = [&](D3DRENDERSTATETYPE s, DWORD v) { renderStates_[s] = v; };
    rs(D3DRS_ZENABLE, params_.EnableAutoDepthStencil != FALSE ? D3DZB_TRUE : D3DZB_FALSE);
    rs(D3DRS_FILLMODE, D3DFILL_SOLID);
    rs(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    rs(D3DRS_ZWRITEENABLE, TRUE);
    rs(D3DRS_LASTPIXEL, TRUE);
    rs(D3DRS_SRCBLEND, D3DBLEND_ONE);
    rs(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    rs(D3DRS_CULLMODE, D3DCULL_CCW);
    rs(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    rs(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    rs(D3DRS_FOGEND, floatBits(1.0f));
    rs(D3DRS_FOGDENSITY, floatBits(1.0f));
    rs(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
    rs(D3DRS_CLIPPING, TRUE);
    rs(D3DRS_LIGHTING, TRUE);
    rs(D3DRS_COLORVERTEX, TRUE);
    rs(D3DRS_LOCALVIEWER, TRUE);
    rs(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    rs(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2);
    rs(D3DRS_POINTSIZE, floatBits(1.0f));
    rs(D3DRS_POINTSIZE_MIN, floatBits(1.0f));
    rs(D3DRS_POINTSCALE_A, floatBits(1.0f));
    rs(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
    rs(D3DRS_MULTISAMPLEMASK, 0xFFFFFFFFu);
    rs(D3DRS_POINTSIZE_MAX, floatBits(64.0f));
    rs(D3DRS_COLORWRITEENABLE, 0xF);
    rs(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    for (DWORD s = 0; s < kMaxStages; ++s) {
        auto& st = stageStates_[s];
        st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        st[D3DTSS_TEXCOORDINDEX] = s;
        st[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        st[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        st[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        auto& sm = samplerStates_[s];
        sm[D3DSAMP_ADDRESSU] = sm[D3DSAMP_ADDRESSV] = sm[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        sm[D3DSAMP_MAGFILTER] = sm[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sm[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        sm[D3DSAMP_MAXANISOTROPY] = 1;
        textureTransforms_[s] = identityMatrix();
    }
    world_ = view_ = projection_ = identityMatrix();
    // The default material is all zeros; the default light is a white directional one (set on LightEnable).
    viewport_ = D3DVIEWPORT9{0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0.0f, 1.0f};
    for (auto& s : serial_) {
        s = 1;
    }
}

ULONG Device::Release() {
    if (refs_ == 0) {
        logFailure("Release of a device with no references");
        return 0;
    }
    ULONG left = --refs_;
    if (left == 0) {
        delete this;
    }
    return left;
}

Device::~Device() {
    shared_->context->makeCurrent();
    deliverPresented(0);
    for (auto& slot : presentRing_) {
        gl::DeleteBuffers(1, &slot.buffer);
    }
    livePresenters.erase(std::remove(livePresenters.begin(), livePresenters.end(), this), livePresenters.end());
    shared_->device = nullptr;
    for (auto& [key, fbo] : framebuffers_) {
        gl::DeleteFramebuffers(1, &fbo);
    }
    for (auto& [key, program] : programs_) {
        gl::DeleteProgram(program.program);
    }
    for (auto& [key, shader] : compiledShaders_) {
        gl::DeleteShader(shader);
    }
    if (feedback_.texture != 0) {
        gl::DeleteTextures(1, &feedback_.texture);
        gl::DeleteFramebuffers(1, &feedback_.framebuffer);
    }
    if (vertexArray_ != 0) {
        gl::DeleteVertexArrays(1, &vertexArray_);
        gl::DeleteBuffers(1, &upBuffer_);
        gl::DeleteSamplers(kMaxStages, samplers_.data());
    }
    if (backBuffer_ != nullptr) {
        backBuffer_->Release();
    }
    if (autoDepth_ != nullptr) {
        autoDepth_->setContainer(nullptr);
        autoDepth_->Release();
    }
}

void Device::forget(Surface* surface) {
    if (renderTarget_ == surface) {
        renderTarget_ = nullptr;
    }
    if (depthStencil_ == surface) {
        depthStencil_ = nullptr;
    }
    for (auto it = framebuffers_.begin(); it != framebuffers_.end();) {
        if (it->first.first == surface || it->first.second == surface) {
            gl::DeleteFramebuffers(1, &it->second);
            it = framebuffers_.erase(it);
        } else {
            ++it;
        }
    }
    framebufferDirty_ = true;
    boundFramebuffer_ = ~0u;
}

void Device::forget(Texture* texture) {
    for (auto& t : textures_) {
        if (t == texture) {
            t = nullptr;
        }
    }
    textureBindingChanged();
}

void Device::forget(VertexBuffer* buffer) {
    if (stream0_ == buffer) {
        stream0_ = nullptr;
    }
    vertexInputDirty_ = true;
}

void Device::forget(IndexBuffer* buffer) {
    if (indices_ == buffer) {
        indices_ = nullptr;
    }
    boundIndexBuffer_ = ~0u;
}

void Device::forget(VertexShader* shader) {
    if (vertexShader_ == shader) {
        vertexShader_ = nullptr;
    }
    forgetPrograms(&LinkedProgram::vertexShaderId, shader->shader().id);
}

void Device::forget(PixelShader* shader) {
    if (pixelShader_ == shader) {
        pixelShader_ = nullptr;
    }
    forgetPrograms(&LinkedProgram::pixelShaderId, shader->shader().id);
}

void Device::forgetPrograms(std::uint64_t LinkedProgram::*stage, std::uint64_t shaderId) {
    for (auto it = programs_.begin(); it != programs_.end();) {
        if (it->second.*stage == shaderId) {
            gl::DeleteProgram(it->second.program);
            it = programs_.erase(it);
        } else {
            ++it;
        }
    }
    currentProgram_ = nullptr;
    currentProgramKey_.clear();
}

void Device::textureBindingChanged() {
    for (auto& b : boundTextures_) {
        b = ~0u;
    }
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* pCaps) {
    if (pCaps == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *pCaps = caps_;
    return D3D_OK;
}

// ---- scenes, targets, presentation ----

HRESULT Device::BeginScene() {
    if (inScene_) {
        logFailure("BeginScene inside a scene");
        return D3DERR_INVALIDCALL;
    }
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) {
        logFailure("EndScene without BeginScene");
        return D3DERR_INVALIDCALL;
    }
    inScene_ = false;
    return D3D_OK;
}

GLuint Device::framebufferFor(Surface* color, Surface* depth) {
    auto key = std::make_pair(color, depth);
    auto found = framebuffers_.find(key);
    if (found != framebuffers_.end()) {
        return found->second;
    }
    GLuint fbo = 0;
    gl::GenFramebuffers(1, &fbo);
    gl::BindFramebuffer(GL_FRAMEBUFFER, fbo);
    if (color != nullptr) {
        gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color->glTexture(),
                                 static_cast<GLint>(color->level()));
    }
    if (depth != nullptr) {
        GLenum attachment = depth->format() == D3DFMT_D24S8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
        gl::FramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depth->renderbuffer());
    }
    framebuffers_[key] = fbo;
    boundFramebuffer_ = fbo;
    ++shared_->counters.stateChanges;
    return fbo;
}

bool Device::applyFramebuffer() {
    if (renderTarget_ == nullptr) {
        logFailure("no render target is set");
        return false;
    }
    if (!framebufferDirty_) {
        return true;
    }
    GLuint fbo = framebufferFor(renderTarget_, depthStencil_);
    if (boundFramebuffer_ != fbo) {
        gl::BindFramebuffer(GL_FRAMEBUFFER, fbo);
        boundFramebuffer_ = fbo;
        ++shared_->counters.stateChanges;
    }
    if (gl::CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        logFailure("render target and depth surface do not form a complete framebuffer");
        return false;
    }
    framebufferDirty_ = false;
    return true;
}

HRESULT Device::SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) {
    auto* surface = static_cast<Surface*>(pRenderTarget);
    if (RenderTargetIndex != 0 || surface == nullptr || !surface->isRenderTarget()) {
        logFailure("SetRenderTarget(%lu) needs index 0 and a render-target surface",
                   static_cast<unsigned long>(RenderTargetIndex));
        return D3DERR_INVALIDCALL;
    }
    renderTarget_ = surface;
    framebufferDirty_ = true;
    // A new target resets the viewport to its full size.
    viewport_ = D3DVIEWPORT9{0, 0, surface->width(), surface->height(), 0.0f, 1.0f};
    touch(kViewport);
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) {
    if (RenderTargetIndex != 0 || ppRenderTarget == nullptr || renderTarget_ == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    renderTarget_->AddRef();
    *ppRenderTarget = renderTarget_;
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) {
    auto* surface = static_cast<Surface*>(pNewZStencil);
    if (surface != nullptr && !surface->isDepth()) {
        logFailure("SetDepthStencilSurface with a surface that is not a depth surface");
        return D3DERR_INVALIDCALL;
    }
    depthStencil_ = surface;
    framebufferDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) {
    if (ppZStencilSurface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (depthStencil_ == nullptr) {
        *ppZStencilSurface = nullptr;
        return D3DERR_NOTFOUND;
    }
    depthStencil_->AddRef();
    *ppZStencilSurface = depthStencil_;
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                              IDirect3DSurface9** ppBackBuffer) {
    if (iSwapChain != 0 || iBackBuffer != 0 || Type != D3DBACKBUFFER_TYPE_MONO || ppBackBuffer == nullptr) {
        logFailure("GetBackBuffer supports swap chain 0, back buffer 0, mono");
        return D3DERR_INVALIDCALL;
    }
    // The back buffer's surface counts its references on the device.
    backBufferSurface_->AddRef();
    *ppBackBuffer = backBufferSurface_;
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* pViewport) {
    if (pViewport == nullptr || renderTarget_ == nullptr || pViewport->Width == 0 || pViewport->Height == 0 ||
        pViewport->X + pViewport->Width > renderTarget_->width() ||
        pViewport->Y + pViewport->Height > renderTarget_->height() || pViewport->MinZ < 0.0f ||
        pViewport->MaxZ > 1.0f || pViewport->MinZ > pViewport->MaxZ) {
        logFailure("SetViewport outside the render target");
        return D3DERR_INVALIDCALL;
    }
    viewport_ = *pViewport;
    touch(kViewport);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* pViewport) {
    if (pViewport == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *pViewport = viewport_;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) {
    if ((Flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 || (Count != 0 && pRects == nullptr)) {
        logFailure("Clear with unknown flags or a missing rectangle list");
        return D3DERR_INVALIDCALL;
    }
    // Clearing depth or stencil with no depth surface (or stencil without stencil bits) is invalid.
    if (((Flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && depthStencil_ == nullptr) ||
        ((Flags & D3DCLEAR_STENCIL) != 0 && depthStencil_->format() != D3DFMT_D24S8)) {
        logFailure("Clear of depth or stencil the depth surface does not have");
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    if (!applyFramebuffer()) {
        return D3DERR_INVALIDCALL;
    }
    // The clear honours the viewport but not the colour and depth write masks.
    gl::ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl::DepthMask(GL_TRUE);
    gl::StencilMask(0xFF);
    applied_.colorMask = 0xF;
    applied_.depthMask = 1;
    auto c = colorOf(Color);
    gl::ClearColor(c[0], c[1], c[2], c[3]);
    gl::ClearDepth(static_cast<double>(std::clamp(Z, 0.0f, 1.0f)));
    gl::ClearStencil(static_cast<GLint>(Stencil & 0xFF));
    GLbitfield bits = ((Flags & D3DCLEAR_TARGET) != 0 ? GL_COLOR_BUFFER_BIT : 0) |
                      ((Flags & D3DCLEAR_ZBUFFER) != 0 ? GL_DEPTH_BUFFER_BIT : 0) |
                      ((Flags & D3DCLEAR_STENCIL) != 0 ? GL_STENCIL_BUFFER_BIT : 0);
    const LONG vx0 = static_cast<LONG>(viewport_.X);
    const LONG vy0 = static_cast<LONG>(viewport_.Y);
    const LONG vx1 = vx0 + static_cast<LONG>(viewport_.Width);
    const LONG vy1 = vy0 + static_cast<LONG>(viewport_.Height);
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max(x0, vx0);
        y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1);
        y1 = std::min(y1, vy1);
        if (x1 <= x0 || y1 <= y0) {
            return;
        }
        // Targets are stored top row first, so Direct3D's y is GL's y.
        gl::Scissor(x0, y0, x1 - x0, y1 - y0);
        gl::Clear(bits);
    };
    if (Count == 0) {
        clearRect(vx0, vy0, vx1, vy1);
    } else {
        for (DWORD i = 0; i < Count; ++i) {
            clearRect(pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
        }
    }
    applied_.viewport = {-1, -1, -1, -1}; // the scissor must go back to the viewport
    shared_->counters.stateChanges += 6;
    return D3D_OK;
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const RGNDATA* pDirtyRegion) {
    if (pSourceRect != nullptr || pDestRect != nullptr || hDestWindowOverride != nullptr || pDirtyRegion != nullptr) {
        logFailure("Present supports only null arguments");
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    if (shared_->context->hasWindow()) {
        int w = 0;
        int h = 0;
        shared_->context->windowSize(w, h);
        GLuint source = framebufferFor(backBufferSurface_, nullptr);
        gl::BindFramebuffer(GL_READ_FRAMEBUFFER, source);
        gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl::Disable(GL_SCISSOR_TEST);
        // The back buffer is stored top row first; the window wants the top row last.
        const auto bw = static_cast<GLint>(params_.BackBufferWidth);
        const auto bh = static_cast<GLint>(params_.BackBufferHeight);
        gl::BlitFramebuffer(0, 0, bw, bh, 0, h, w, 0, GL_COLOR_BUFFER_BIT,
                            (w == bw && h == bh) ? GL_NEAREST : GL_LINEAR);
        gl::Enable(GL_SCISSOR_TEST);
        shared_->context->swap();
        boundFramebuffer_ = ~0u;
        framebufferDirty_ = true;
    } else {
        // Virtual mode: the frame is done, so virtual time moves by one frame step.
        capturePresented();
        platform::advanceVirtualFrame();
    }
    return D3D_OK;
}

// ---- resources ----

HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) {
    const FormatInfo* format = colorFormat(Format);
    UINT fullChain = 1;
    while ((std::max(Width, Height) >> fullChain) > 0) {
        ++fullChain;
    }
    const bool renderTarget = (Usage & D3DUSAGE_RENDERTARGET) != 0;
    if (ppTexture == nullptr || pSharedHandle != nullptr || format == nullptr || Width == 0 || Height == 0 ||
        Width > caps_.MaxTextureWidth || Height > caps_.MaxTextureHeight || Levels > fullChain ||
        (Usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) != 0 ||
        (Pool != D3DPOOL_DEFAULT && Pool != D3DPOOL_MANAGED) || (renderTarget && Pool != D3DPOOL_DEFAULT)) {
        logFailure("CreateTexture(%u x %u, %u levels, usage 0x%lx, format %lu, pool %lu) is outside the subset", Width,
                   Height, Levels, static_cast<unsigned long>(Usage), static_cast<unsigned long>(Format),
                   static_cast<unsigned long>(Pool));
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    *ppTexture = new Texture(shared_, Width, Height, Levels == 0 ? fullChain : Levels, Usage, *format, Pool);
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                          DWORD MultisampleQuality, BOOL Discard, IDirect3DSurface9** ppSurface,
                                          HANDLE* pSharedHandle) {
    (void)Discard; // contents are never read back, so discarding changes nothing
    GLenum internal = 0;
    if (ppSurface == nullptr || pSharedHandle != nullptr || !depthFormat(Format, internal) || Width == 0 ||
        Height == 0 || Width > caps_.MaxTextureWidth || Height > caps_.MaxTextureHeight ||
        MultiSample != D3DMULTISAMPLE_NONE || MultisampleQuality != 0) {
        logFailure("CreateDepthStencilSurface(%u x %u, format %lu) is outside the subset", Width, Height,
                   static_cast<unsigned long>(Format));
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    auto* surface = new Surface(shared_, nullptr, nullptr, 0, Width, Height, Format, D3DUSAGE_DEPTHSTENCIL,
                                D3DPOOL_DEFAULT);
    if (!surface->createDepthStorage(internal)) {
        surface->Release();
        logFailure("GL refused a %u x %u depth surface", Width, Height);
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *ppSurface = surface;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) {
    if (ppVertexBuffer == nullptr || pSharedHandle != nullptr || Length == 0 ||
        (Usage & ~(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS)) != 0 ||
        (Pool != D3DPOOL_DEFAULT && Pool != D3DPOOL_MANAGED)) {
        logFailure("CreateVertexBuffer(%u bytes, usage 0x%lx, pool %lu) is outside the subset", Length,
                   static_cast<unsigned long>(Usage), static_cast<unsigned long>(Pool));
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    *ppVertexBuffer = new VertexBuffer(shared_, Length, Usage, FVF, Pool);
    vertexInputDirty_ = true; // creation rebinds GL_ARRAY_BUFFER
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) {
    if (ppIndexBuffer == nullptr || pSharedHandle != nullptr || Length == 0 || Format != D3DFMT_INDEX16 ||
        (Usage & ~(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC)) != 0 ||
        (Pool != D3DPOOL_DEFAULT && Pool != D3DPOOL_MANAGED)) {
        logFailure("CreateIndexBuffer(%u bytes, format %lu) is outside the subset (16-bit indices only)", Length,
                   static_cast<unsigned long>(Format));
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    *ppIndexBuffer = new IndexBuffer(shared_, Length, Usage, Pool);
    vertexInputDirty_ = true;
    return D3D_OK;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                        IDirect3DVertexDeclaration9** ppDecl) {
    if (pVertexElements == nullptr || ppDecl == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    VertexLayout layout;
    std::string error;
    if (!layoutFromDeclaration(pVertexElements, layout, error)) {
        logFailure("CreateVertexDeclaration: %s", error.c_str());
        return D3DERR_INVALIDCALL;
    }
    std::vector<D3DVERTEXELEMENT9> elements;
    for (const D3DVERTEXELEMENT9* e = pVertexElements;; ++e) {
        elements.push_back(*e);
        if (e->Stream == 0xFF) {
            break;
        }
    }
    *ppDecl = new VertexDeclaration(std::move(elements), std::move(layout));
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) {
    declaration_ = static_cast<VertexDeclaration*>(pDecl);
    useFvf_ = false;
    fvf_ = 0;
    vertexInputDirty_ = true;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD FVF) {
    VertexLayout layout;
    std::string error;
    if (!layoutFromFvf(FVF, layout, error)) {
        logFailure("SetFVF(0x%lx): %s", static_cast<unsigned long>(FVF), error.c_str());
        return D3DERR_INVALIDCALL;
    }
    fvf_ = FVF;
    fvfLayout_ = std::move(layout);
    useFvf_ = true;
    vertexInputDirty_ = true;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                UINT Stride) {
    if (StreamNumber != 0) {
        logFailure("SetStreamSource(%u): only stream 0 is supported", StreamNumber);
        return D3DERR_INVALIDCALL;
    }
    stream0_ = static_cast<VertexBuffer*>(pStreamData);
    streamOffset_ = OffsetInBytes;
    streamStride_ = Stride;
    vertexInputDirty_ = true;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIndexData) {
    indices_ = static_cast<IndexBuffer*>(pIndexData);
    return D3D_OK;
}

HRESULT Device::createShader(const DWORD* function, bool pixel, TranslatedShader& out) {
    const char* kind = pixel ? "CreatePixelShader" : "CreateVertexShader";
    if (function == nullptr) {
        logFailure("%s without code", kind);
        return D3DERR_INVALIDCALL;
    }
    std::string error;
    // The code's length is not passed; the decoder stops at the end token.
    constexpr std::size_t kMaxTokens = 1u << 16;
    if (!shaderasm::decode(function, kMaxTokens, out.program, error)) {
        logFailure("%s: %s", kind, error.c_str());
        return D3DERR_INVALIDCALL;
    }
    const DWORD limit = pixel ? caps_.PixelShaderVersion : caps_.VertexShaderVersion;
    if (out.program.pixel() != pixel || (out.program.version & 0xFFFF) > (limit & 0xFFFF) ||
        (limit & 0xFFFF0000u) != (out.program.version & 0xFFFF0000u)) {
        logFailure("%s: shader version 0x%08lx is above the device's 0x%08lx or of the wrong kind", kind,
                   static_cast<unsigned long>(out.program.version), static_cast<unsigned long>(limit));
        return D3DERR_INVALIDCALL;
    }
    if (!translateToGlsl(out.program, out.glsl, out.definedConstants, error)) {
        logFailure("%s: %s", kind, error.c_str());
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    out.glShader = compileShader(pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, out.glsl, error);
    if (out.glShader == 0) {
        logFailure("%s: GLSL did not compile: %s", kind, error.c_str());
        return D3DERR_INVALIDCALL;
    }
    auto tokens = shaderasm::encode(out.program);
    out.tokens.assign(tokens.begin(), tokens.end());
    out.id = nextShaderId_++;
    return D3D_OK;
}

template <class Object, class Interface>
HRESULT Device::createShaderObject(const DWORD* function, bool pixel, Interface** object) {
    if (object == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    TranslatedShader shader;
    HRESULT hr = createShader(function, pixel, shader);
    if (FAILED(hr)) {
        return hr;
    }
    *object = new Object(shared_, std::move(shader));
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) {
    return createShaderObject<VertexShader>(pFunction, false, ppShader);
}

HRESULT Device::CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) {
    return createShaderObject<PixelShader>(pFunction, true, ppShader);
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* pShader) {
    vertexShader_ = static_cast<VertexShader*>(pShader);
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* pShader) {
    pixelShader_ = static_cast<PixelShader*>(pShader);
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) {
    if (!storeConstants("SetVertexShaderConstantF", vsConstants_, StartRegister, pConstantData, Vector4fCount)) {
        return D3DERR_INVALIDCALL;
    }
    touch(kVsConstants);
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) {
    if (!storeConstants("SetPixelShaderConstantF", psConstants_, StartRegister, pConstantData, Vector4fCount)) {
        return D3DERR_INVALIDCALL;
    }
    touch(kPsConstants);
    return D3D_OK;
}

// ---- state ----

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    if (pMatrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    switch (State) {
    case D3DTS_WORLD:
        world_ = *pMatrix;
        break;
    case D3DTS_VIEW:
        view_ = *pMatrix;
        touch(kLights); // lights are sent in camera space
        break;
    case D3DTS_PROJECTION:
        projection_ = *pMatrix;
        break;
    default:
        if (State >= D3DTS_TEXTURE0 && State <= D3DTS_TEXTURE7) {
            textureTransforms_[State - D3DTS_TEXTURE0] = *pMatrix;
            return D3D_OK;
        }
        logFailure("SetTransform(%lu) is outside the subset", static_cast<unsigned long>(State));
        return D3DERR_INVALIDCALL;
    }
    touch(kTransforms);
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    if (pMatrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    switch (State) {
    case D3DTS_WORLD:
        *pMatrix = world_;
        return D3D_OK;
    case D3DTS_VIEW:
        *pMatrix = view_;
        return D3D_OK;
    case D3DTS_PROJECTION:
        *pMatrix = projection_;
        return D3D_OK;
    default:
        if (State >= D3DTS_TEXTURE0 && State <= D3DTS_TEXTURE7) {
            *pMatrix = textureTransforms_[State - D3DTS_TEXTURE0];
            return D3D_OK;
        }
        return D3DERR_INVALIDCALL;
    }
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    const StateRule* rule = ruleFor(State);
    if (rule == nullptr || Value < rule->min || Value > rule->max) {
        logFailure("SetRenderState(%lu, 0x%lx) is outside the subset", static_cast<unsigned long>(State),
                   static_cast<unsigned long>(Value));
        return D3DERR_INVALIDCALL;
    }
    renderStates_[State] = Value;
    switch (State) {
    case D3DRS_AMBIENT:
        touch(kMaterial);
        break;
    case D3DRS_TEXTUREFACTOR:
        touch(kTextureFactor);
        break;
    case D3DRS_POINTSIZE:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSIZE_MAX:
    case D3DRS_POINTSCALE_A:
    case D3DRS_POINTSCALE_B:
    case D3DRS_POINTSCALE_C:
        touch(kPoints);
        break;
    default:
        break;
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    if (pValue == nullptr || State >= renderStates_.size()) {
        return D3DERR_INVALIDCALL;
    }
    *pValue = renderStates_[State];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
    bool ok = Sampler < kMaxStages;
    switch (Type) {
    case D3DSAMP_ADDRESSU:
    case D3DSAMP_ADDRESSV:
    case D3DSAMP_ADDRESSW:
        ok = ok && (Value == D3DTADDRESS_WRAP || Value == D3DTADDRESS_MIRROR || Value == D3DTADDRESS_CLAMP);
        break;
    case D3DSAMP_MAGFILTER:
    case D3DSAMP_MINFILTER:
        ok = ok && (Value == D3DTEXF_POINT || Value == D3DTEXF_LINEAR);
        break;
    case D3DSAMP_MIPFILTER:
        ok = ok && Value <= D3DTEXF_LINEAR;
        break;
    case D3DSAMP_MAXANISOTROPY:
    case D3DSAMP_BORDERCOLOR:
        break;
    case D3DSAMP_MIPMAPLODBIAS:
    case D3DSAMP_MAXMIPLEVEL:
        ok = ok && Value == 0;
        break;
    default:
        ok = false;
    }
    if (!ok) {
        logFailure("SetSamplerState(%lu, %lu, %lu) is outside the subset", static_cast<unsigned long>(Sampler),
                   static_cast<unsigned long>(Type), static_cast<unsigned long>(Value));
        return D3DERR_INVALIDCALL;
    }
    samplerStates_[Sampler][Type] = Value;
    samplerDirty_[Sampler] = true;
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    bool ok = Stage < kMaxStages;
    switch (Type) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
        ok = ok && supportedTextureOp(Value);
        break;
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
        ok = ok && supportedTextureArg(Value);
        break;
    case D3DTSS_COLORARG0:
    case D3DTSS_ALPHAARG0:
        break;
    case D3DTSS_TEXCOORDINDEX:
        ok = ok && Value < 8;
        break;
    case D3DTSS_TEXTURETRANSFORMFLAGS:
        ok = ok && Value == D3DTTFF_DISABLE;
        break;
    case D3DTSS_RESULTARG:
        ok = ok && Value == D3DTA_CURRENT;
        break;
    default:
        ok = false;
    }
    if (!ok) {
        logFailure("SetTextureStageState(%lu, %lu, 0x%lx) is outside the subset", static_cast<unsigned long>(Stage),
                   static_cast<unsigned long>(Type), static_cast<unsigned long>(Value));
        return D3DERR_INVALIDCALL;
    }
    stageStates_[Stage][Type] = Value;
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) {
    if (Stage >= kMaxStages) {
        logFailure("SetTexture(%lu): stages 0 to 7 only", static_cast<unsigned long>(Stage));
        return D3DERR_INVALIDCALL;
    }
    textures_[Stage] = static_cast<Texture*>(pTexture);
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* pMaterial) {
    if (pMaterial == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    material_ = *pMaterial;
    touch(kMaterial);
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT9* pLight) {
    if (pLight == nullptr || Index >= kMaxLights ||
        (pLight->Type != D3DLIGHT_POINT && pLight->Type != D3DLIGHT_DIRECTIONAL) || pLight->Range < 0.0f) {
        logFailure("SetLight(%lu): point and directional lights 0 to 7 only", static_cast<unsigned long>(Index));
        return D3DERR_INVALIDCALL;
    }
    lights_[Index] = *pLight;
    touch(kLights);
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD Index, BOOL Enable) {
    if (Index >= kMaxLights) {
        logFailure("LightEnable(%lu): lights 0 to 7 only", static_cast<unsigned long>(Index));
        return D3DERR_INVALIDCALL;
    }
    if (Enable != FALSE && lights_[Index].Type == 0) {
        // A light enabled before SetLight is the platform's default: white,
        // directional, pointing along +z.
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = {0.0f, 0.0f, 1.0f};
        lights_[Index] = light;
    }
    lightEnabled_[Index] = Enable != FALSE;
    touch(kLights);
    return D3D_OK;
}

// ---- drawing ----

const VertexLayout* Device::currentLayout() const {
    if (useFvf_) {
        return &fvfLayout_;
    }
    return declaration_ != nullptr ? &declaration_->layout() : nullptr;
}

void Device::applyRasterState() {
    const auto& rs = renderStates_;
    auto& a = applied_;
    auto& count = shared_->counters.stateChanges;
    auto capability = [&](int& applied, bool wanted, GLenum cap) {
        changeState(applied, wanted ? 1 : 0, count, [&] { wanted ? gl::Enable(cap) : gl::Disable(cap); });
    };
    capability(a.depthTest, rs[D3DRS_ZENABLE] != D3DZB_FALSE, GL_DEPTH_TEST);
    const int depthMask = rs[D3DRS_ZWRITEENABLE] != FALSE ? 1 : 0;
    changeState(a.depthMask, depthMask, count, [&] { gl::DepthMask(depthMask != 0 ? GL_TRUE : GL_FALSE); });
    const GLenum depthFunc = glCompare(rs[D3DRS_ZFUNC]);
    changeState(a.depthFunc, depthFunc, count, [&] { gl::DepthFunc(depthFunc); });
    const bool blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    capability(a.blend, blend, GL_BLEND);
    if (blend) {
        const std::array<GLenum, 2> func = {glBlend(rs[D3DRS_SRCBLEND]), glBlend(rs[D3DRS_DESTBLEND])};
        changeState(a.blendFunc, func, count, [&] { gl::BlendFunc(func[0], func[1]); });
        const GLenum op = glBlendOp(rs[D3DRS_BLENDOP]);
        changeState(a.blendEquation, op, count, [&] { gl::BlendEquation(op); });
    }
    const bool cull = rs[D3DRS_CULLMODE] != D3DCULL_NONE;
    capability(a.cull, cull, GL_CULL_FACE);
    if (cull) {
        // Front faces are GL_CCW here (see initialise): CCW culling drops back faces.
        const GLenum face = rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_BACK : GL_FRONT;
        changeState(a.cullFace, face, count, [&] { gl::CullFace(face); });
    }
    const GLenum mode = rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                        : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                                : GL_FILL;
    changeState(a.polygonMode, mode, count, [&] { gl::PolygonMode(GL_FRONT_AND_BACK, mode); });
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
    changeState(a.colorMask, mask, count, [&] {
        // D3DCOLORWRITEENABLE: red 1, green 2, blue 4, alpha 8.
        gl::ColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
    });
    const std::array<GLint, 4> vp = {static_cast<GLint>(viewport_.X), static_cast<GLint>(viewport_.Y),
                                     static_cast<GLint>(viewport_.Width), static_cast<GLint>(viewport_.Height)};
    changeState(
        a.viewport, vp, count,
        [&] {
            // Targets are stored top row first, so the viewport's top is GL's y.
            // The scissor keeps wide points and lines inside the viewport.
            gl::Viewport(vp[0], vp[1], vp[2], vp[3]);
            gl::Scissor(vp[0], vp[1], vp[2], vp[3]);
        },
        2);
    const std::array<float, 2> range = {viewport_.MinZ, viewport_.MaxZ};
    changeState(a.depthRange, range, count, [&] { gl::DepthRange(range[0], range[1]); });
}

void Device::buildFfKeys(const VertexLayout& layout, bool points, FfVertexKey& v, FfPixelKey& p) const {
    const auto& rs = renderStates_;
    v = FfVertexKey{};
    v.pretransformed = layout.pretransformed;
    v.hasNormal = layout.hasNormal;
    v.hasDiffuse = layout.hasDiffuse;
    v.hasSpecular = layout.hasSpecular;
    v.hasPointSize = layout.hasPointSize;
    v.texcoordSets = static_cast<std::uint8_t>(layout.texcoordSets);
    v.pointScale = !layout.pretransformed && rs[D3DRS_POINTSCALEENABLE] != FALSE;
    v.lighting = !layout.pretransformed && rs[D3DRS_LIGHTING] != FALSE;
    if (v.lighting != 0) {
        v.localViewer = rs[D3DRS_LOCALVIEWER] != FALSE;
        v.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != FALSE;
        v.colorVertex = rs[D3DRS_COLORVERTEX] != FALSE;
        v.diffuseSource = static_cast<std::uint8_t>(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
        v.specularSource = static_cast<std::uint8_t>(rs[D3DRS_SPECULARMATERIALSOURCE]);
        v.ambientSource = static_cast<std::uint8_t>(rs[D3DRS_AMBIENTMATERIALSOURCE]);
        v.emissiveSource = static_cast<std::uint8_t>(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
        for (unsigned i = 0; i < kMaxLights; ++i) {
            if (lightEnabled_[i]) {
                v.lightDirectional[v.lightCount++] = lights_[i].Type == D3DLIGHT_DIRECTIONAL;
            }
        }
    }
    p = FfPixelKey{};
    p.specularEnable = rs[D3DRS_SPECULARENABLE] != FALSE;
    // Sprite coordinates exist only for point primitives.
    p.pointSprite = points && rs[D3DRS_POINTSPRITEENABLE] != FALSE;
    for (unsigned s = 0; s < kMaxStages; ++s) {
        const auto& st = stageStates_[s];
        if (st[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
            break;
        }
        auto usesTexture = [&](DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
        const bool alphaOn = st[D3DTSS_ALPHAOP] != D3DTOP_DISABLE;
        const bool needsTexture = usesTexture(st[D3DTSS_COLORARG1]) || usesTexture(st[D3DTSS_COLORARG2]) ||
                                  (alphaOn && (usesTexture(st[D3DTSS_ALPHAARG1]) || usesTexture(st[D3DTSS_ALPHAARG2]))) ||
                                  st[D3DTSS_COLOROP] == D3DTOP_BLENDTEXTUREALPHA ||
                                  st[D3DTSS_ALPHAOP] == D3DTOP_BLENDTEXTUREALPHA;
        // A stage that reads a texture when none is bound ends the cascade
        // here, so untextured geometry shows the colour so far (as DXVK does).
        if (needsTexture && textures_[s] == nullptr) {
            break;
        }
        auto& k = p.stages[p.stageCount++];
        k.colorOp = static_cast<std::uint8_t>(st[D3DTSS_COLOROP]);
        k.colorArg1 = static_cast<std::uint8_t>(st[D3DTSS_COLORARG1]);
        k.colorArg2 = static_cast<std::uint8_t>(st[D3DTSS_COLORARG2]);
        k.alphaOp = static_cast<std::uint8_t>(st[D3DTSS_ALPHAOP]);
        k.alphaArg1 = static_cast<std::uint8_t>(st[D3DTSS_ALPHAARG1]);
        k.alphaArg2 = static_cast<std::uint8_t>(st[D3DTSS_ALPHAARG2]);
        k.texcoordIndex = static_cast<std::uint8_t>(st[D3DTSS_TEXCOORDINDEX]);
    }
}

GLuint Device::compileShader(GLenum stage, const std::string& source, std::string& error) {
    GLuint shader = gl::CreateShader(stage);
    const char* text = source.c_str();
    gl::ShaderSource(shader, 1, &text, nullptr);
    gl::CompileShader(shader);
    GLint ok = 0;
    gl::GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == 0) {
        char log[1024] = {};
        gl::GetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = log;
        gl::DeleteShader(shader);
        return 0;
    }
    return shader;
}

bool Device::linkProgram(GLuint vertexShader, GLuint pixelShader, std::uint64_t vsId, std::uint64_t psId,
                         LinkedProgram& linked, std::string& error) {
    GLuint program = gl::CreateProgram();
    gl::AttachShader(program, vertexShader);
    gl::AttachShader(program, pixelShader);
    gl::LinkProgram(program);
    GLint ok = 0;
    gl::GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok == 0) {
        char log[1024] = {};
        gl::GetProgramInfoLog(program, sizeof log, nullptr, log);
        error = log;
        gl::DeleteProgram(program);
        return false;
    }
    ++shared_->counters.programsBuilt;
    linked = LinkedProgram{};
    linked.program = program;
    linked.vertexShaderId = vsId;
    linked.pixelShaderId = psId;
    for (std::size_t i = 0; i < std::size(kUniformNames); ++i) {
        linked.locations[i] = gl::GetUniformLocation(program, kUniformNames[i]);
    }
    gl::UseProgram(program);
    for (GLint s = 0; s < kMaxStages; ++s) {
        std::string name = "uSampler" + std::to_string(s);
        GLint location = gl::GetUniformLocation(program, name.c_str());
        linked.locations[uSampler0 + static_cast<std::size_t>(s)] = location;
        if (location >= 0) {
            gl::Uniform1i(location, s);
        }
    }
    return true;
}

bool Device::applyProgram(const VertexLayout& layout, bool points) {
    FfVertexKey vk;
    FfPixelKey pk;
    buildFfKeys(layout, points, vk, pk);
    std::string key;
    if (vertexShader_ != nullptr) {
        key += "V" + std::to_string(vertexShader_->shader().id);
    } else {
        key += "v";
        key.append(reinterpret_cast<const char*>(&vk), sizeof vk);
    }
    if (pixelShader_ != nullptr) {
        key += "P" + std::to_string(pixelShader_->shader().id);
    } else {
        key += "p";
        key.append(reinterpret_cast<const char*>(&pk), sizeof pk);
    }
    if (currentProgram_ != nullptr && key == currentProgramKey_) {
        return true;
    }
    auto found = programs_.find(key);
    LinkedProgram* program = found != programs_.end() ? &found->second : nullptr;
    if (program == nullptr) {
        std::string error;
        auto stageShader = [&](GLenum stage, const std::string& source) -> GLuint {
            auto it = compiledShaders_.find(source);
            if (it != compiledShaders_.end()) {
                return it->second;
            }
            GLuint shader = compileShader(stage, source, error);
            if (shader != 0) {
                compiledShaders_.emplace(source, shader);
            }
            return shader;
        };
        GLuint vs = vertexShader_ != nullptr ? vertexShader_->shader().glShader
                                             : stageShader(GL_VERTEX_SHADER, ffVertexSource(vk));
        GLuint ps = pixelShader_ != nullptr ? pixelShader_->shader().glShader
                                            : stageShader(GL_FRAGMENT_SHADER, ffPixelSource(pk));
        LinkedProgram linked;
        if (vs == 0 || ps == 0 ||
            !linkProgram(vs, ps, vertexShader_ != nullptr ? vertexShader_->shader().id : 0,
                         pixelShader_ != nullptr ? pixelShader_->shader().id : 0, linked, error)) {
            logFailure("no GL program for this state: %s", error.c_str());
            return false;
        }
        program = &programs_.emplace(key, linked).first->second;
    }
    gl::UseProgram(program->program);
    ++shared_->counters.programSwitches;
    ++shared_->counters.stateChanges;
    currentProgram_ = program;
    currentProgramKey_ = key;
    return true;
}

void Device::uploadUniforms(LinkedProgram& p) {
    auto& count = shared_->counters.stateChanges;
    auto stale = [&](UniformGroup g) {
        if (p.uploaded[g] == serial_[g]) {
            return false;
        }
        p.uploaded[g] = serial_[g];
        return true;
    };
    const auto& loc = p.locations;
    if (stale(kTransforms)) {
        D3DMATRIX worldView = multiply(world_, view_);
        if (loc[uWorldView] >= 0) {
            gl::UniformMatrix4fv(loc[uWorldView], 1, GL_FALSE, &worldView.m[0][0]);
            gl::UniformMatrix4fv(loc[uProjection], 1, GL_FALSE, &projection_.m[0][0]);
            auto normal = normalMatrix(worldView);
            gl::UniformMatrix3fv(loc[uNormalMatrix], 1, GL_FALSE, normal.data());
            count += 3;
        }
    }
    if (stale(kViewport) && loc[uViewport] >= 0) {
        float vp[4] = {static_cast<float>(viewport_.X), static_cast<float>(viewport_.Y),
                       static_cast<float>(viewport_.Width), static_cast<float>(viewport_.Height)};
        gl::Uniform4fv(loc[uViewport], 1, vp);
        ++count;
    }
    if (stale(kMaterial) && loc[uMaterial] >= 0) {
        const D3DCOLORVALUE colours[4] = {material_.Diffuse, material_.Ambient, material_.Specular,
                                          material_.Emissive};
        gl::Uniform4fv(loc[uMaterial], 4, &colours[0].r);
        gl::Uniform1f(loc[uPower], material_.Power);
        auto ambient = colorOf(renderStates_[D3DRS_AMBIENT]);
        gl::Uniform4fv(loc[uAmbient], 1, ambient.data());
        count += 3;
    }
    if (stale(kLights) && loc[uLightPosition] >= 0) {
        float position[kMaxLights][4] = {};
        float diffuse[kMaxLights][4] = {};
        float specular[kMaxLights][4] = {};
        float ambient[kMaxLights][4] = {};
        float attenuation[kMaxLights][4] = {};
        unsigned n = 0;
        for (unsigned i = 0; i < kMaxLights; ++i) {
            if (!lightEnabled_[i]) {
                continue;
            }
            const D3DLIGHT9& l = lights_[i];
            const auto& m = view_.m;
            if (l.Type == D3DLIGHT_DIRECTIONAL) {
                // Towards the light, in camera space.
                for (int c = 0; c < 3; ++c) {
                    position[n][c] = -(l.Direction.x * m[0][c] + l.Direction.y * m[1][c] + l.Direction.z * m[2][c]);
                }
            } else {
                for (int c = 0; c < 3; ++c) {
                    position[n][c] = l.Position.x * m[0][c] + l.Position.y * m[1][c] + l.Position.z * m[2][c] + m[3][c];
                }
            }
            position[n][3] = 1.0f;
            std::memcpy(diffuse[n], &l.Diffuse, sizeof diffuse[n]);
            std::memcpy(specular[n], &l.Specular, sizeof specular[n]);
            std::memcpy(ambient[n], &l.Ambient, sizeof ambient[n]);
            attenuation[n][0] = l.Attenuation0;
            attenuation[n][1] = l.Attenuation1;
            attenuation[n][2] = l.Attenuation2;
            attenuation[n][3] = l.Range;
            ++n;
        }
        if (n > 0) {
            auto count4 = static_cast<GLsizei>(n);
            gl::Uniform4fv(loc[uLightPosition], count4, &position[0][0]);
            gl::Uniform4fv(loc[uLightDiffuse], count4, &diffuse[0][0]);
            gl::Uniform4fv(loc[uLightSpecular], count4, &specular[0][0]);
            gl::Uniform4fv(loc[uLightAmbient], count4, &ambient[0][0]);
            gl::Uniform4fv(loc[uLightAttenuation], count4, &attenuation[0][0]);
            count += 5;
        }
    }
    if (stale(kTextureFactor) && loc[uTextureFactor] >= 0) {
        auto factor = colorOf(renderStates_[D3DRS_TEXTUREFACTOR]);
        gl::Uniform4fv(loc[uTextureFactor], 1, factor.data());
        ++count;
    }
    if (stale(kPoints) && loc[uPointSize] >= 0) {
        float size[4] = {bitsFloat(renderStates_[D3DRS_POINTSIZE]), bitsFloat(renderStates_[D3DRS_POINTSIZE_MIN]),
                         bitsFloat(renderStates_[D3DRS_POINTSIZE_MAX]), 0.0f};
        float scale[4] = {bitsFloat(renderStates_[D3DRS_POINTSCALE_A]), bitsFloat(renderStates_[D3DRS_POINTSCALE_B]),
                          bitsFloat(renderStates_[D3DRS_POINTSCALE_C]), 0.0f};
        gl::Uniform4fv(loc[uPointSize], 1, size);
        if (loc[uPointScale] >= 0) {
            gl::Uniform4fv(loc[uPointScale], 1, scale);
        }
        count += 2;
    }
    if (stale(kVsConstants) && loc[uVsConstants] >= 0) {
        gl::Uniform4fv(loc[uVsConstants], static_cast<GLsizei>(vsConstants_.size()), vsConstants_[0].data());
        ++count;
    }
    if (stale(kPsConstants) && loc[uPsConstants] >= 0) {
        gl::Uniform4fv(loc[uPsConstants], static_cast<GLsizei>(psConstants_.size()), psConstants_[0].data());
        ++count;
    }
}

GLuint Device::feedbackCopy(const Texture& texture) {
    auto& count = shared_->counters.stateChanges;
    if (feedbackCopied_) {
        return feedback_.texture;
    }
    const FormatInfo& format = texture.format();
    if (feedback_.texture == 0 || feedback_.width != texture.width() || feedback_.height != texture.height() ||
        feedback_.format != format.format) {
        if (feedback_.texture == 0) {
            gl::GenTextures(1, &feedback_.texture);
            gl::GenFramebuffers(1, &feedback_.framebuffer);
        }
        gl::ActiveTexture(GL_TEXTURE0);
        gl::BindTexture(GL_TEXTURE_2D, feedback_.texture);
        gl::TexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format.internalFormat),
                       static_cast<GLsizei>(texture.width()), static_cast<GLsizei>(texture.height()), 0,
                       format.uploadFormat, format.uploadType, nullptr);
        gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, format.alphaIsOne ? GL_ONE : GL_ALPHA);
        gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, format.blueIsOne ? GL_ONE : GL_BLUE);
        textureBindingChanged();
        gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, feedback_.framebuffer);
        gl::FramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, feedback_.texture, 0);
        feedback_.width = texture.width();
        feedback_.height = texture.height();
        feedback_.format = format.format;
        count += 6;
    }
    const auto w = static_cast<GLint>(texture.width());
    const auto h = static_cast<GLint>(texture.height());
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, boundFramebuffer_);
    gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, feedback_.framebuffer);
    gl::Disable(GL_SCISSOR_TEST); // a blit honours the scissor
    gl::BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl::Enable(GL_SCISSOR_TEST);
    gl::BindFramebuffer(GL_FRAMEBUFFER, boundFramebuffer_);
    count += 6;
    feedbackCopied_ = true;
    return feedback_.texture;
}

bool Device::applyTextures() {
    auto& count = shared_->counters.stateChanges;
    auto isTarget = [&](const Texture* t) {
        return t != nullptr && t->isRenderTarget() && renderTarget_ != nullptr &&
               renderTarget_->glTexture() == t->glTexture();
    };
    // Copies are made before any binding below, since making one may rebind a unit.
    feedbackCopied_ = false;
    for (GLuint s = 0; s < kMaxStages; ++s) {
        if (currentProgram_->locations[uSampler0 + s] >= 0 && isTarget(textures_[s])) {
            feedbackCopy(*textures_[s]);
        }
    }
    for (GLuint s = 0; s < kMaxStages; ++s) {
        if (currentProgram_->locations[uSampler0 + s] < 0) {
            continue;
        }
        Texture* texture = textures_[s];
        GLuint name = texture != nullptr ? texture->glTexture() : 0;
        if (isTarget(texture)) {
            // Reading the target being drawn (a feedback pass): GL leaves that
            // undefined, so the draw samples a copy of the target as it was
            // before the draw, which is what such passes expect.
            name = feedback_.texture;
        }
        if (boundTextures_[s] != name) {
            gl::ActiveTexture(GL_TEXTURE0 + s);
            gl::BindTexture(GL_TEXTURE_2D, name);
            boundTextures_[s] = name;
            count += 2;
        }
        if (samplerDirty_[s]) {
            const auto& sm = samplerStates_[s];
            auto wrap = [](DWORD a) {
                return static_cast<GLint>(a == D3DTADDRESS_CLAMP    ? GL_CLAMP_TO_EDGE
                                          : a == D3DTADDRESS_MIRROR ? GL_MIRRORED_REPEAT
                                                                    : GL_REPEAT);
            };
            const bool linearMin = sm[D3DSAMP_MINFILTER] == D3DTEXF_LINEAR;
            GLint minFilter = 0;
            switch (sm[D3DSAMP_MIPFILTER]) {
            case D3DTEXF_NONE:
                minFilter = linearMin ? GL_LINEAR : GL_NEAREST;
                break;
            case D3DTEXF_POINT:
                minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
                break;
            default:
                minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
                break;
            }
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_WRAP_S, wrap(sm[D3DSAMP_ADDRESSU]));
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_WRAP_T, wrap(sm[D3DSAMP_ADDRESSV]));
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_MIN_FILTER, minFilter);
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_MAG_FILTER,
                                  sm[D3DSAMP_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
            samplerDirty_[s] = false;
            count += 4;
        }
    }
    return true;
}

bool Device::applyVertexInput(const VertexLayout& layout, GLuint buffer, UINT baseOffset, UINT stride) {
    if (!vertexInputDirty_ && appliedInput_.layout == &layout && appliedInput_.buffer == buffer &&
        appliedInput_.offset == baseOffset && appliedInput_.stride == stride) {
        return true;
    }
    auto& count = shared_->counters.stateChanges;
    gl::BindBuffer(GL_ARRAY_BUFFER, buffer);
    ++count;
    unsigned enabled = 0;
    for (const auto& a : layout.attributes) {
        gl::VertexAttribPointer(a.location, a.size, a.type, a.normalized, static_cast<GLsizei>(stride),
                                reinterpret_cast<const void*>(static_cast<std::uintptr_t>(baseOffset + a.offset)));
        enabled |= 1u << a.location;
        ++count;
    }
    for (GLuint l = 0; l < kAttrCount; ++l) {
        const unsigned bit = 1u << l;
        if ((enabled & bit) == (appliedInput_.enabled & bit)) {
            continue;
        }
        if ((enabled & bit) != 0) {
            gl::EnableVertexAttribArray(l);
        } else {
            // Inputs a vertex does not supply read (0, 0, 0, 1).
            gl::DisableVertexAttribArray(l);
            gl::VertexAttrib4f(l, 0.0f, 0.0f, 0.0f, 1.0f);
        }
        ++count;
    }
    appliedInput_ = AppliedInput{&layout, buffer, baseOffset, stride, enabled};
    vertexInputDirty_ = false;
    return true;
}

const VertexLayout* Device::prepareDraw(const char* call, GLenum mode) {
    if (!inScene_) {
        logFailure("%s outside BeginScene/EndScene", call);
        return nullptr;
    }
    const VertexLayout* layout = currentLayout();
    if (layout == nullptr) {
        logFailure("%s without a vertex declaration or FVF", call);
        return nullptr;
    }
    if (layout->pretransformed && vertexShader_ != nullptr) {
        logFailure("%s: pre-transformed vertices with a vertex shader are outside the subset", call);
        return nullptr;
    }
    shared_->context->makeCurrent();
    if (!applyFramebuffer()) {
        return nullptr;
    }
    applyRasterState();
    if (!applyProgram(*layout, mode == GL_POINTS)) {
        return nullptr;
    }
    uploadUniforms(*currentProgram_);
    return applyTextures() ? layout : nullptr;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    GLenum mode = 0;
    GLsizei vertices = 0;
    if (!primitiveInfo(PrimitiveType, PrimitiveCount, mode, vertices)) {
        logFailure("DrawPrimitive with primitive type %lu", static_cast<unsigned long>(PrimitiveType));
        return D3DERR_INVALIDCALL;
    }
    if (stream0_ == nullptr) {
        logFailure("DrawPrimitive without a vertex buffer on stream 0");
        return D3DERR_INVALIDCALL;
    }
    if (PrimitiveCount == 0) {
        return D3D_OK;
    }
    const UINT stride = streamStride_;
    if (stride == 0 || streamOffset_ + static_cast<std::uint64_t>(StartVertex + static_cast<UINT>(vertices)) * stride >
                           stream0_->size()) {
        logFailure("DrawPrimitive reads past the end of the vertex buffer");
        return D3DERR_INVALIDCALL;
    }
    const VertexLayout* layout = prepareDraw("DrawPrimitive", mode);
    if (layout == nullptr || !applyVertexInput(*layout, stream0_->glBuffer(), streamOffset_, stride)) {
        return D3DERR_INVALIDCALL;
    }
    gl::DrawArrays(mode, static_cast<GLint>(StartVertex), vertices);
    ++shared_->counters.draws;
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                     UINT NumVertices, UINT startIndex, UINT primCount) {
    GLenum mode = 0;
    GLsizei count = 0;
    if (!primitiveInfo(PrimitiveType, primCount, mode, count) || stream0_ == nullptr || indices_ == nullptr) {
        logFailure("DrawIndexedPrimitive needs a known primitive type, stream 0 and an index buffer");
        return D3DERR_INVALIDCALL;
    }
    (void)MinVertexIndex;
    (void)NumVertices; // hints for software vertex processing only
    if (primCount == 0) {
        return D3D_OK;
    }
    if ((static_cast<std::uint64_t>(startIndex) + static_cast<std::uint64_t>(count)) * 2 > indices_->size() ||
        streamStride_ == 0) {
        logFailure("DrawIndexedPrimitive reads past the end of the index buffer");
        return D3DERR_INVALIDCALL;
    }
    const VertexLayout* layout = prepareDraw("DrawIndexedPrimitive", mode);
    if (layout == nullptr || !applyVertexInput(*layout, stream0_->glBuffer(), streamOffset_, streamStride_)) {
        return D3DERR_INVALIDCALL;
    }
    if (boundIndexBuffer_ != indices_->glBuffer()) {
        gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_->glBuffer());
        boundIndexBuffer_ = indices_->glBuffer();
        ++shared_->counters.stateChanges;
    }
    gl::DrawElementsBaseVertex(mode, count, GL_UNSIGNED_SHORT,
                               reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * 2),
                               BaseVertexIndex);
    ++shared_->counters.draws;
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) {
    GLenum mode = 0;
    GLsizei vertices = 0;
    if (!primitiveInfo(PrimitiveType, PrimitiveCount, mode, vertices) || pVertexStreamZeroData == nullptr ||
        VertexStreamZeroStride == 0) {
        logFailure("DrawPrimitiveUP needs a known primitive type, data and a stride");
        return D3DERR_INVALIDCALL;
    }
    // The platform leaves stream 0 unset after a user-pointer draw.
    stream0_ = nullptr;
    streamOffset_ = 0;
    streamStride_ = 0;
    if (PrimitiveCount == 0) {
        return D3D_OK;
    }
    const VertexLayout* layout = prepareDraw("DrawPrimitiveUP", mode);
    if (layout == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    applyVertexInput(*layout, upBuffer_, 0, VertexStreamZeroStride);
    gl::BindBuffer(GL_ARRAY_BUFFER, upBuffer_);
    // A fresh store each time, so earlier draws keep the data they were given;
    // the vertex array keeps pointing at the same buffer name.
    gl::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices) * VertexStreamZeroStride, pVertexStreamZeroData,
                   GL_STREAM_DRAW);
    ++shared_->counters.uploads;
    ++shared_->counters.stateChanges;
    gl::DrawArrays(mode, 0, vertices);
    ++shared_->counters.draws;
    return D3D_OK;
}

// ---- read-back ----

HRESULT Device::readBack(Surface* surface, UINT& width, UINT& height, std::vector<D3DCOLOR>& argb) {
    if (surface == nullptr || surface->isDepth()) {
        logFailure("read-back of a depth surface or of nothing");
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    width = surface->width();
    height = surface->height();
    argb.assign(static_cast<std::size_t>(width) * height, 0);
    GLuint fbo = framebufferFor(surface, nullptr);
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    gl::PixelStorei(GL_PACK_ALIGNMENT, 1);
    const auto w = static_cast<GLsizei>(width);
    const auto h = static_cast<GLsizei>(height);
    if (surface->format() == D3DFMT_G16R16) {
        std::vector<std::uint16_t> rg(argb.size() * 2);
        gl::ReadPixels(0, 0, w, h, GL_RG, GL_UNSIGNED_SHORT, rg.data());
        for (std::size_t i = 0; i < argb.size(); ++i) {
            argb[i] = 0xFF000000u | (static_cast<DWORD>(rg[2 * i] >> 8) << 16) |
                      (static_cast<DWORD>(rg[2 * i + 1] >> 8) << 8);
        }
    } else {
        // Rows come out top row first: targets are stored that way.
        gl::ReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb.data());
        if (colorFormat(surface->format())->alphaIsOne) {
            for (auto& p : argb) {
                p |= 0xFF000000u;
            }
        }
    }
    boundFramebuffer_ = ~0u;
    framebufferDirty_ = true;
    return gl::GetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

void Device::capturePresented() {
    if (presentHook == nullptr) {
        return;
    }
    // A full ring hands its oldest frame over before the slot is reused.
    deliverPresented(presentRing_.size() - 1);
    PresentSlot& slot = presentRing_[(presentFirst_ + presentQueued_) % presentRing_.size()];
    if (slot.buffer == 0) {
        gl::GenBuffers(1, &slot.buffer);
    }
    slot.width = backBufferSurface_->width();
    slot.height = backBufferSurface_->height();
    slot.opaque = colorFormat(backBufferSurface_->format())->alphaIsOne;
    slot.presentNs = platform::clockNowNs();
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, framebufferFor(backBufferSurface_, nullptr));
    gl::BindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    gl::BufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(slot.width) * slot.height * 4, nullptr,
                   GL_STREAM_READ);
    gl::PixelStorei(GL_PACK_ALIGNMENT, 1);
    // Targets are stored top row first, which is the hook's row order.
    gl::ReadPixels(0, 0, static_cast<GLsizei>(slot.width), static_cast<GLsizei>(slot.height), GL_RGBA,
                   GL_UNSIGNED_BYTE, nullptr);
    gl::BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    boundFramebuffer_ = ~0u;
    framebufferDirty_ = true;
    ++presentQueued_;
}

void Device::deliverPresented(std::size_t keep) {
    while (presentQueued_ > keep) {
        PresentSlot& slot = presentRing_[presentFirst_];
        presentFirst_ = (presentFirst_ + 1) % presentRing_.size();
        --presentQueued_;
        const std::size_t bytes = static_cast<std::size_t>(slot.width) * slot.height * 4;
        gl::BindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
        auto* mapped = static_cast<const std::uint8_t*>(
            gl::MapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), GL_MAP_READ_BIT));
        if (mapped == nullptr) {
            logFailure("present hook: mapping a read-back buffer failed, frame dropped");
        } else if (presentHook != nullptr) {
            deliveringNs = slot.presentNs;
            if (slot.opaque) {
                // Formats without alpha deliver alpha 0xFF, as readBack does.
                presentScratch.assign(mapped, mapped + bytes);
                for (std::size_t i = 3; i < bytes; i += 4) {
                    presentScratch[i] = 0xFF;
                }
                presentHook(presentUser, slot.width, slot.height, presentScratch.data());
            } else {
                presentHook(presentUser, slot.width, slot.height, mapped);
            }
        }
        if (mapped != nullptr) {
            gl::UnmapBuffer(GL_PIXEL_PACK_BUFFER);
        }
        gl::BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
}

void setPresentHook(PresentHook hook, void* user) {
    presentHook = hook;
    presentUser = user;
}

void flushPresentHook() {
    for (Device* device : livePresenters) {
        device->flushPresented();
    }
}

std::uint64_t presentedFrameNs() { return deliveringNs; }

} // namespace platform::d3d9
