// The device: Direct3D 9 state kept as the platform defines it, turned into
// GL calls at draw time with only the GL state that changed sent again.
// device.cpp holds the calls and the state they capture; drawtranslation.cpp
// holds the draw calls and turns that state into GL when a draw needs it. The states accepted, their
// values and defaults are the tables of renderstates.h; presentation and
// read-back go through the swap chain of swapchain.h.
#pragma once

#include "platform/d3d9/ffpipeline.h"
#include "platform/d3d9/renderstates.h"
#include "platform/d3d9/resources.h"
#include "platform/d3d9/swapchain.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

namespace platform::d3d9 {

// 0xAARRGGBB as floats r, g, b, a in 0..1.
inline std::array<float, 4> colorOf(D3DCOLOR c) {
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>(c >> 24) / 255.0f};
}

// The uniforms a program may have, by index into a linked program's uniform locations.
enum UniformIndex : std::size_t {
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
    uSampler0, // one per stage: uSampler0 + stage
    kUniformCount = uSampler0 + kMaxStages
};

class Device final : public IDirect3DDevice9 {
  public:
    // Makes the context and the swap chain; null (with a log line) on failure.
    static Device* create(const D3DPRESENT_PARAMETERS& params, HWND focusWindow, const D3DCAPS9& caps, bool live);
    ~Device() override;

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;

    HRESULT GetDeviceCaps(D3DCAPS9* pCaps) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const RGNDATA* pDirtyRegion) override;
    HRESULT GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                          IDirect3DSurface9** ppBackBuffer) override;
    HRESULT SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
    HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
    HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                          IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                      DWORD MultisampleQuality, BOOL Discard, IDirect3DSurface9** ppSurface,
                                      HANDLE* pSharedHandle) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                    IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                            UINT Stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                 UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData,
                            UINT VertexStreamZeroStride) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT SetMaterial(const D3DMATERIAL9* pMaterial) override;
    HRESULT SetLight(DWORD Index, const D3DLIGHT9* pLight) override;
    HRESULT LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) override;
    HRESULT CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* pShader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* pShader) override;
    HRESULT SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override;
    HRESULT SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override;

    // Called by dying resources so that nothing bound points at them.
    void forget(Surface* surface);
    void forget(Texture* texture);
    void forget(VertexBuffer* buffer);
    void forget(IndexBuffer* buffer);
    void forget(VertexShader* shader);
    void forget(PixelShader* shader);
    // A texture's GL binding or contents changed behind the device's back.
    void textureBindingChanged();

    DeviceCounters counters() const { return shared_->counters; }
    HRESULT readBack(Surface* surface, UINT& width, UINT& height, std::vector<D3DCOLOR>& argb);

  private:
    Device(std::shared_ptr<Shared> shared, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps);
    bool initialise(std::string& error);
    void setDefaults();

    struct LinkedProgram {
        GLuint program = 0;
        std::uint64_t vertexShaderId = 0; // 0: generated
        std::uint64_t pixelShaderId = 0;
        std::array<GLint, kUniformCount> locations{};
        std::array<std::uint64_t, kUniformGroupCount> uploaded{};
    };
    // The GL state the device caches, each part forgotten through invalidate
    // when something else may have changed it.
    enum class GlCache {
        framebufferChoice,  // the target or depth surface changed: pick the framebuffer again
        framebufferBinding, // the framebuffer bound in GL is unknown
        vertexInput,
        indexBinding,
        textureBindings,
        scissor, // the scissor no longer matches the viewport
    };
    void invalidate(GlCache what);

    // One validation for the three draw calls, in one order: a known
    // primitive type, the sources set, anything to draw, no locked buffer,
    // reads inside the buffers. A refusal logs a line naming the call.
    enum class DrawSource { stream0, indexed, userPointer };
    struct DrawRequest {
        const char* call;
        DrawSource source;
        D3DPRIMITIVETYPE type;
        UINT primitives;
        UINT first; // start vertex or start index
        const void* userData = nullptr;
        UINT userStride = 0;
    };
    enum class DrawCheck { draw, nothing, refused };
    DrawCheck checkDraw(const DrawRequest& draw, GLenum& mode, GLsizei& count);

    // Draw preparation; false (after a log line) when the state is outside the subset.
    const VertexLayout* prepareDraw(const char* call, GLenum mode);
    bool applyFramebuffer();
    void applyRasterState(const VertexLayout& layout);
    bool applyProgram(const VertexLayout& layout, bool points);
    void uploadUniforms(LinkedProgram& program);
    bool applyTextures();
    // A copy of the current render target for a draw that samples it.
    GLuint feedbackCopy(const Texture& texture);
    bool applyVertexInput(const VertexLayout& layout, GLuint buffer, UINT baseOffset, UINT stride);
    const VertexLayout* currentLayout() const;
    // Whether the render target's alpha stays 1: a format without alpha on
    // OpenGL ES, which cannot swizzle its alpha to 1 when sampled, so clears
    // write 1 there and draws leave alpha alone (sampled and blended as 1).
    bool alphaKeptAtOne() const;
    // Whether draws test depth: the test is on and there is a depth surface.
    bool depthTested() const;
    void buildFfKeys(const VertexLayout& layout, bool points, FfVertexKey& vertexKey, FfPixelKey& pixelKey) const;
    GLuint compileShader(GLenum stage, const std::string& source, std::string& error);
    bool linkProgram(GLuint vertexShader, GLuint pixelShader, std::uint64_t vsId, std::uint64_t psId,
                     LinkedProgram& linked, std::string& error);
    GLuint framebufferFor(Surface* color, Surface* depth);
    HRESULT createShader(const DWORD* function, bool pixel, std::shared_ptr<const TranslatedShader>& out);
    // createShader, then the result wrapped in a new `Object` handed out through `object`.
    template <class Object, class Interface>
    HRESULT createShaderObject(const DWORD* function, bool pixel, Interface** object);
    void touch(UniformGroup group) { ++serial_[group]; }

    std::shared_ptr<Shared> shared_;
    ULONG refs_ = 1;
    D3DPRESENT_PARAMETERS params_;
    D3DCAPS9 caps_;
    bool inScene_ = false;
    bool warnedOutsideScene_ = false;
    bool warnedNestedScene_ = false;
    bool warnedLoneEndScene_ = false;

    Texture* backBuffer_ = nullptr;
    Surface* backBufferSurface_ = nullptr;
    Surface* autoDepth_ = nullptr;
    Surface* renderTarget_ = nullptr;
    Surface* depthStencil_ = nullptr;
    D3DVIEWPORT9 viewport_{};

    RenderStates renderStates_{};
    std::array<StageStates, kMaxStages> stageStates_{};
    std::array<SamplerStates, kMaxStages> samplerStates_{};
    std::array<Texture*, kMaxStages> textures_{};
    D3DMATRIX world_{};
    D3DMATRIX view_{};
    D3DMATRIX projection_{};
    std::array<D3DMATRIX, kMaxStages> textureTransforms_{};
    D3DMATERIAL9 material_{};
    std::array<D3DLIGHT9, kMaxLights> lights_{};
    std::array<bool, kMaxLights> lightEnabled_{};
    std::array<std::array<float, 4>, 256> vsConstants_{};
    std::array<std::array<float, 4>, 32> psConstants_{};

    DWORD fvf_ = 0;
    VertexLayout fvfLayout_;
    VertexDeclaration* declaration_ = nullptr;
    bool useFvf_ = false;
    VertexBuffer* stream0_ = nullptr;
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    IndexBuffer* indices_ = nullptr;
    VertexShader* vertexShader_ = nullptr;
    PixelShader* pixelShader_ = nullptr;
    std::uint64_t nextShaderId_ = 1;

    // GL objects and what is bound now.
    GLuint vertexArray_ = 0;
    GLuint upBuffer_ = 0;
    std::array<GLuint, kMaxStages> samplers_{};
    std::array<bool, kMaxStages> samplerDirty_{};
    std::array<GLuint, kMaxStages> boundTextures_{};
    struct Feedback {
        GLuint texture = 0;
        GLuint framebuffer = 0;
        UINT width = 0;
        UINT height = 0;
        D3DFORMAT format = D3DFMT_UNKNOWN;
    } feedback_;
    bool feedbackCopied_ = false;
    std::map<std::pair<Surface*, Surface*>, GLuint> framebuffers_;
    // OpenGL ES only: depth buffers of a target's size for (target, depth
    // surface) pairs whose sizes differ (framebufferFor).
    std::map<std::pair<Surface*, Surface*>, GLuint> sizedDepth_;
    GLuint boundFramebuffer_ = ~0u;
    bool framebufferDirty_ = true;
    bool vertexInputDirty_ = true;
    struct AppliedInput {
        const VertexLayout* layout = nullptr;
        GLuint buffer = 0;
        UINT offset = 0;
        UINT stride = 0;
        unsigned enabled = 0;
    } appliedInput_;
    GLuint boundIndexBuffer_ = ~0u;
    std::unordered_map<std::string, GLuint> compiledShaders_;
    std::map<std::vector<DWORD>, std::shared_ptr<TranslatedShader>> shaderCache_; // by token code
    std::unordered_map<std::string, LinkedProgram> programs_;
    std::string currentProgramKey_;
    LinkedProgram* currentProgram_ = nullptr;
    std::array<std::uint64_t, kUniformGroupCount> serial_{};
    std::unique_ptr<SwapChain> swapChain_;

    struct AppliedState {
        int depthTest = -1;
        int depthClamp = -1;
        int depthMask = -1;
        GLenum depthFunc = 0;
        int blend = -1;
        std::array<GLenum, 2> blendFunc{0, 0}; // source, destination
        GLenum blendEquation = 0;
        int cull = -1;
        GLenum cullFace = 0;
        GLenum polygonMode = 0;
        DWORD colorMask = ~0u;
        std::array<GLint, 4> viewport{-1, -1, -1, -1};
        std::array<float, 2> depthRange{-1.0f, -1.0f};
    } applied_;
};

} // namespace platform::d3d9
