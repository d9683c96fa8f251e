#include "platform/d3d9/device.h"

#include "platform/d3d9/shadertoglsl.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/refusal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::d3d9 {
namespace {

D3DMATRIX identityMatrix() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) {
        m.m[i][i] = 1.0f;
    }
    return m;
}

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

} // namespace

// ---- creation and lifetime ----

Device::Device(std::shared_ptr<Shared> shared, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps)
    : shared_(std::move(shared)), params_(params), caps_(caps) {
    shared_->device = this;
    swapChain_ = std::make_unique<SwapChain>(*shared_->context);
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
    // for GL and puts the point-sprite origin at the lower left. OpenGL ES
    // fixes that origin at the upper left and always takes the program's
    // point size: its GLSL form reads the sprite coordinate flipped instead
    // (glsldialect.h).
    gl::FrontFace(GL_CCW);
    gl::Enable(GL_SCISSOR_TEST);
    if (gl::isDesktop()) {
        gl::PointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
        gl::Enable(GL_PROGRAM_POINT_SIZE);
        // Flat shading takes the first vertex of a primitive in Direct3D.
        // The layer shades Gouraud only, so ES (last vertex) needs no equivalent.
        gl::ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    }
    setDefaults();
    if (gl::GetError() != GL_NO_ERROR) {
        error = "GL reported an error while setting up";
        return false;
    }
    return true;
}

// The platform's documented defaults for every state.
void Device::setDefaults() {
    renderStateDefaults(renderStates_);
    renderStates_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil != FALSE ? D3DZB_TRUE : D3DZB_FALSE;
    for (DWORD s = 0; s < kMaxStages; ++s) {
        stageStateDefaults(s, stageStates_[s]);
        samplerStateDefaults(samplerStates_[s]);
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
    swapChain_.reset();
    shared_->device = nullptr;
    for (auto& [key, fbo] : framebuffers_) {
        gl::DeleteFramebuffers(1, &fbo);
    }
    for (auto& [key, renderbuffer] : sizedDepth_) {
        gl::DeleteRenderbuffers(1, &renderbuffer);
    }
    for (auto& [key, program] : programs_) {
        gl::DeleteProgram(program.program);
    }
    for (auto& [key, shader] : compiledShaders_) {
        gl::DeleteShader(shader);
    }
    for (auto& [tokens, shader] : shaderCache_) {
        gl::DeleteShader(shader->glShader);
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
    for (auto it = sizedDepth_.begin(); it != sizedDepth_.end();) {
        if (it->first.first == surface || it->first.second == surface) {
            gl::DeleteRenderbuffers(1, &it->second);
            it = sizedDepth_.erase(it);
        } else {
            ++it;
        }
    }
    invalidate(GlCache::framebufferBinding);
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
    invalidate(GlCache::vertexInput);
}

void Device::forget(IndexBuffer* buffer) {
    if (indices_ == buffer) {
        indices_ = nullptr;
    }
    invalidate(GlCache::indexBinding);
}

// The translation and the programs linked with it stay cached for the next
// shader object made from the same code; only the binding goes.
void Device::forget(VertexShader* shader) {
    if (vertexShader_ == shader) {
        vertexShader_ = nullptr;
    }
}

void Device::forget(PixelShader* shader) {
    if (pixelShader_ == shader) {
        pixelShader_ = nullptr;
    }
}

void Device::textureBindingChanged() {
    invalidate(GlCache::textureBindings);
}

void Device::invalidate(GlCache what) {
    switch (what) {
    case GlCache::framebufferChoice:
        framebufferDirty_ = true;
        break;
    case GlCache::framebufferBinding:
        framebufferDirty_ = true;
        boundFramebuffer_ = ~0u;
        break;
    case GlCache::vertexInput:
        vertexInputDirty_ = true;
        break;
    case GlCache::indexBinding:
        boundIndexBuffer_ = ~0u;
        break;
    case GlCache::textureBindings:
        boundTextures_.fill(~0u);
        break;
    case GlCache::scissor:
        applied_.viewport = {-1, -1, -1, -1};
        break;
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
        // Refused as the runtime does; callers that nest every frame are told once.
        kernel::logRefusalOnce(warnedNestedScene_, "d3d9", "BeginScene inside a scene (refused; said once)");
        return D3DERR_INVALIDCALL;
    }
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) {
        kernel::logRefusalOnce(warnedLoneEndScene_, "d3d9", "EndScene without BeginScene (refused; said once)");
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
        GLuint renderbuffer = depth->renderbuffer();
        GLenum internalFormat = 0;
        if (!gl::isDesktop() && color != nullptr &&
            (depth->width() != color->width() || depth->height() != color->height()) &&
            depthFormat(depth->format(), internalFormat)) {
            // WebGL 2 wants every attachment of one size, where Direct3D
            // lets a larger depth surface serve a smaller target: the pair
            // gets a depth buffer of the target's size. It starts cleared
            // and does not share the larger surface's contents.
            gl::GenRenderbuffers(1, &renderbuffer);
            gl::BindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
            gl::RenderbufferStorage(GL_RENDERBUFFER, internalFormat, static_cast<GLsizei>(color->width()),
                                    static_cast<GLsizei>(color->height()));
            gl::BindRenderbuffer(GL_RENDERBUFFER, 0);
            sizedDepth_[key] = renderbuffer;
        }
        gl::FramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, renderbuffer);
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
    invalidate(GlCache::framebufferChoice);
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
    invalidate(GlCache::framebufferChoice);
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
    gl::ClearColor(c[0], c[1], c[2], alphaKeptAtOne() ? 1.0f : c[3]);
    gl::clearDepth(std::clamp(Z, 0.0f, 1.0f));
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
    invalidate(GlCache::scissor); // the scissor must go back to the viewport
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
    const GLuint source = framebufferFor(backBufferSurface_, nullptr);
    if (shared_->context->hasWindow()) {
        swapChain_->present(source, static_cast<GLint>(params_.BackBufferWidth),
                            static_cast<GLint>(params_.BackBufferHeight));
        invalidate(GlCache::framebufferBinding);
    } else {
        // Virtual mode: the frame is done, so virtual time moves by one frame step.
        swapChain_->capture(source, backBufferSurface_->width(), backBufferSurface_->height(),
                            colorFormat(backBufferSurface_->format())->alphaIsOne);
        invalidate(GlCache::framebufferBinding);
        platform::kernel::advanceVirtualFrame();
    }
    shared_->context->framePresented();
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
    auto* surface =
        new Surface(shared_, nullptr, nullptr, 0, Width, Height, Format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
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
    invalidate(GlCache::vertexInput); // creation rebinds GL_ARRAY_BUFFER
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
    invalidate(GlCache::vertexInput);
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
    invalidate(GlCache::vertexInput);
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
    invalidate(GlCache::vertexInput);
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
    invalidate(GlCache::vertexInput);
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIndexData) {
    indices_ = static_cast<IndexBuffer*>(pIndexData);
    return D3D_OK;
}

HRESULT Device::createShader(const DWORD* function, bool pixel, std::shared_ptr<const TranslatedShader>& out) {
    const char* kind = pixel ? "CreatePixelShader" : "CreateVertexShader";
    if (function == nullptr) {
        logFailure("%s without code", kind);
        return D3DERR_INVALIDCALL;
    }
    std::string error;
    // The code's length is not passed; the decoder stops at the end token.
    constexpr std::size_t kMaxTokens = 1u << 16;
    shadercompiler::assembler::Program program;
    if (!shadercompiler::assembler::decode(function, kMaxTokens, program, error)) {
        logFailure("%s: %s", kind, error.c_str());
        return D3DERR_INVALIDCALL;
    }
    const DWORD limit = pixel ? caps_.PixelShaderVersion : caps_.VertexShaderVersion;
    if (program.pixel() != pixel || (program.version & 0xFFFF) > (limit & 0xFFFF) ||
        (limit & 0xFFFF0000u) != (program.version & 0xFFFF0000u)) {
        logFailure("%s: shader version 0x%08lx is above the device's 0x%08lx or of the wrong kind", kind,
                   static_cast<unsigned long>(program.version), static_cast<unsigned long>(limit));
        return D3DERR_INVALIDCALL;
    }
    auto encoded = shadercompiler::assembler::encode(program);
    std::vector<DWORD> tokens(encoded.begin(), encoded.end());
    // Code seen before (a scene that makes its shaders again every frame)
    // shares the earlier translation, its GL shader and its linked programs.
    auto cached = shaderCache_.find(tokens);
    if (cached != shaderCache_.end()) {
        out = cached->second;
        return D3D_OK;
    }
    auto shader = std::make_shared<TranslatedShader>();
    shader->program = std::move(program);
    if (!translateToGlsl(shader->program, shader->glsl, shader->definedConstants, error)) {
        logFailure("%s: %s", kind, error.c_str());
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    shader->glShader = compileShader(pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, shader->glsl, error);
    if (shader->glShader == 0) {
        logFailure("%s: GLSL did not compile: %s", kind, error.c_str());
        return D3DERR_INVALIDCALL;
    }
    shader->tokens = tokens;
    shader->id = nextShaderId_++;
    shaderCache_.emplace(std::move(tokens), shader);
    out = std::move(shader);
    return D3D_OK;
}

template <class Object, class Interface>
HRESULT Device::createShaderObject(const DWORD* function, bool pixel, Interface** object) {
    if (object == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    std::shared_ptr<const TranslatedShader> shader;
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
    const RenderStateRule* rule = renderStateRule(State);
    if (rule == nullptr || Value < rule->min || Value > rule->max) {
        logFailure("SetRenderState(%lu, 0x%lx) is outside the subset", static_cast<unsigned long>(State),
                   static_cast<unsigned long>(Value));
        return D3DERR_INVALIDCALL;
    }
    renderStates_[State] = Value;
    if (rule->sent != kNoUniformGroup) {
        touch(rule->sent);
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
    const bool ok = Sampler < kMaxStages && samplerStateAccepted(Type, Value);
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
    const bool ok = Stage < kMaxStages && stageStateAccepted(Type, Value);
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

// ---- read-back ----

HRESULT Device::readBack(Surface* surface, UINT& width, UINT& height, std::vector<D3DCOLOR>& argb) {
    if (surface == nullptr || surface->isDepth()) {
        logFailure("read-back of a depth surface or of nothing");
        return D3DERR_INVALIDCALL;
    }
    shared_->context->makeCurrent();
    width = surface->width();
    height = surface->height();
    const HRESULT result = readPixels(framebufferFor(surface, nullptr), width, height, surface->format(), argb);
    invalidate(GlCache::framebufferBinding);
    return result;
}

} // namespace platform::d3d9
