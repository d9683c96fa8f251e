// The layer's implementations of the resource interfaces. Ownership:
// - Every object starts with one reference; Release at zero deletes it.
// - Texture levels (GetSurfaceLevel) and the device's back buffer and
//   automatic depth surface forward their counts to their container.
// - Resources share the device's GL context (Shared), so they may outlive
//   the device; a resource that dies unbinds itself from a living device.
#pragma once

#include "platform/d3d9/context.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/d3d9/gl.h"

#include "shadercompiler/asm/shaderprogram.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::d3d9 {

class Device;

// One line to the debug output, "d3d9: " first.
void logFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

struct Shared {
    std::unique_ptr<GlContext> context;
    Device* device = nullptr; // null once the device is gone
    DeviceCounters counters{};
};

template <class Interface> class RefCounted : public Interface {
  public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        if (refs_ == 0) {
            logFailure("Release of an object with no references");
            return 0;
        }
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    ULONG refs_ = 1;
};

// Pixel formats the layer stores, with their GL form.
struct FormatInfo {
    D3DFORMAT format;
    UINT bytesPerPixel;
    GLenum internalFormat;
    GLenum uploadFormat;
    GLenum uploadType;
    bool alphaIsOne; // the format has no alpha channel: sample alpha as 1
    bool blueIsOne;  // two-channel formats read blue as 1
};
const FormatInfo* colorFormat(D3DFORMAT format);
// The format and type GL takes the format's pixels in: desktop GL reads
// Direct3D's layout as it is; OpenGL ES has no BGRA orders, so there pixels
// go as RGBA (glPixels rewrites them).
void glPixelFormat(const FormatInfo& info, GLenum& format, GLenum& type);
// Pixels in Direct3D's layout as glPixelFormat says GL takes them: the same
// bytes on desktop GL; on OpenGL ES rewritten into scratch as RGBA bytes or
// RGBA4 shorts, alpha 1 for formats without alpha (ES has no swizzle).
const std::uint8_t* glPixels(const FormatInfo& info, const std::vector<std::uint8_t>& pixels,
                             std::vector<std::uint8_t>& scratch);
bool depthFormat(D3DFORMAT format, GLenum& internalFormat);

class Texture;

class Surface final : public IDirect3DSurface9 {
  public:
    // A level of a texture (container = the texture) or a depth surface;
    // container null means the surface counts its own references.
    Surface(std::shared_ptr<Shared> shared, IUnknown* container, Texture* texture, UINT level, UINT width, UINT height,
            D3DFORMAT format, DWORD usage, D3DPOOL pool);
    ~Surface() override;

    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect() override;

    // Where to attach it: a texture level, or a renderbuffer for depth.
    bool isDepth() const { return renderbuffer_ != 0; }
    GLuint glTexture() const;
    UINT level() const { return level_; }
    GLuint renderbuffer() const { return renderbuffer_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }
    D3DFORMAT format() const { return format_; }
    bool isRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
    // Makes the renderbuffer of a depth surface; false when GL refuses.
    bool createDepthStorage(GLenum internalFormat);
    void setContainer(IUnknown* container) { container_ = container; }
    Device* device() const { return shared_->device; }

  private:
    std::shared_ptr<Shared> shared_;
    IUnknown* container_;
    Texture* texture_;
    UINT level_;
    UINT width_;
    UINT height_;
    D3DFORMAT format_;
    DWORD usage_;
    D3DPOOL pool_;
    GLuint renderbuffer_ = 0;
    ULONG ownRefs_ = 1;
};

class Texture final : public RefCounted<IDirect3DTexture9> {
  public:
    Texture(std::shared_ptr<Shared> shared, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo& format,
            D3DPOOL pool);
    ~Texture() override;

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;

    GLuint glTexture() const { return texture_; }
    const FormatInfo& format() const { return format_; }
    bool isRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }

  private:
    struct LevelData {
        UINT width;
        UINT height;
        // Held only while the level is locked; between locks GL's copy is the
        // only one on desktop GL. OpenGL ES cannot read a texture back, so
        // there it is kept.
        std::vector<std::uint8_t> pixels;
        bool written = false; // uploaded at least once: a later lock reads GL's copy back
        bool locked = false;
        Surface* surface = nullptr;
    };
    std::shared_ptr<Shared> shared_;
    UINT width_;
    UINT height_;
    DWORD usage_;
    FormatInfo format_;
    D3DPOOL pool_;
    GLuint texture_ = 0;
    std::vector<LevelData> levels_;
};

// What vertex and index buffers share: the memory copy that Lock hands out
// and the GL buffer that Unlock sends the locked range to.
class BufferStore {
  public:
    BufferStore(std::shared_ptr<Shared> shared, GLenum target, UINT length, DWORD usage, GLenum glUsage);
    ~BufferStore();
    BufferStore(const BufferStore&) = delete;
    BufferStore& operator=(const BufferStore&) = delete;
    // `what` names the buffer in failure messages.
    HRESULT lock(const char* what, UINT offset, UINT sizeToLock, void** data, DWORD flags);
    HRESULT unlock(const char* what);
    Shared& shared() const { return *shared_; }
    DWORD usage() const { return usage_; }
    GLuint glBuffer() const { return buffer_; }
    UINT size() const { return size_; }
    // A mapped store cannot be drawn from.
    bool locked() const { return locked_ && lockSize_ > 0; }

  private:
    std::shared_ptr<Shared> shared_;
    GLenum target_;
    UINT size_;
    DWORD usage_;
    GLenum glUsage_;
    GLuint buffer_ = 0;
    bool locked_ = false;
    UINT lockOffset_ = 0;
    UINT lockSize_ = 0;
    DWORD lockFlags_ = 0;
    // OpenGL ES (WebGL 2) cannot map buffers: there a copy of the contents is
    // kept here, locks hand out a range of it and unlocks upload that range.
    // Empty on desktop GL.
    std::vector<unsigned char> copy_;
};

class VertexBuffer final : public RefCounted<IDirect3DVertexBuffer9> {
  public:
    VertexBuffer(std::shared_ptr<Shared> shared, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~VertexBuffer() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;
    GLuint glBuffer() const { return store_.glBuffer(); }
    UINT size() const { return store_.size(); }
    bool locked() const { return store_.locked(); }

  private:
    BufferStore store_;
    DWORD fvf_;
    D3DPOOL pool_;
};

class IndexBuffer final : public RefCounted<IDirect3DIndexBuffer9> {
  public:
    IndexBuffer(std::shared_ptr<Shared> shared, UINT length, DWORD usage, D3DPOOL pool);
    ~IndexBuffer() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;
    GLuint glBuffer() const { return store_.glBuffer(); }
    UINT size() const { return store_.size(); }
    bool locked() const { return store_.locked(); }

  private:
    BufferStore store_;
    D3DPOOL pool_;
};

// Where the vertex stage finds an input: fixed attribute locations shared by
// generated and translated programs.
enum AttributeLocation : GLuint {
    kAttrPosition = 0,
    kAttrNormal = 1,
    kAttrColor0 = 2,
    kAttrColor1 = 3,
    kAttrPointSize = 4,
    kAttrTexcoord0 = 5, // 5..12
    kAttrCount = 13,
};

struct VertexAttribute {
    GLuint location;
    GLint size;
    GLenum type;
    GLboolean normalized;
    UINT offset;
};

// A vertex layout from an FVF code or a declaration (stream 0 only).
struct VertexLayout {
    std::vector<VertexAttribute> attributes;
    bool pretransformed = false;
    bool hasNormal = false;
    bool hasDiffuse = false;
    bool hasSpecular = false;
    bool hasPointSize = false;
    unsigned texcoordSets = 0;
    UINT stride = 0; // from the FVF; declarations take the stream's stride
};

// False (with the reason) for codes outside the subset.
bool layoutFromFvf(DWORD fvf, VertexLayout& layout, std::string& error);
bool layoutFromDeclaration(const D3DVERTEXELEMENT9* elements, VertexLayout& layout, std::string& error);

class VertexDeclaration final : public RefCounted<IDirect3DVertexDeclaration9> {
  public:
    VertexDeclaration(std::vector<D3DVERTEXELEMENT9> elements, VertexLayout layout)
        : elements_(std::move(elements)), layout_(std::move(layout)) {}
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override;
    const VertexLayout& layout() const { return layout_; }

  private:
    std::vector<D3DVERTEXELEMENT9> elements_;
    VertexLayout layout_;
};

// A shader from token code, translated to GLSL once at creation.
// One translation per distinct token stream: shader objects made from the same
// code share it (and so its GL shader and the programs linked with it). The
// device owns the GL shader and deletes it when the device goes.
struct TranslatedShader {
    std::vector<DWORD> tokens;
    shaderasm::Program program;
    std::string glsl;
    GLuint glShader = 0;
    std::uint64_t id = 0;
    // Constants the code defines itself (def), which win over Set*ShaderConstantF.
    std::vector<unsigned> definedConstants;
};

class VertexShader final : public RefCounted<IDirect3DVertexShader9> {
  public:
    VertexShader(std::shared_ptr<Shared> shared, std::shared_ptr<const TranslatedShader> shader)
        : shared_(std::move(shared)), shader_(std::move(shader)) {}
    ~VertexShader() override;
    HRESULT GetFunction(void* pData, UINT* pSizeOfData) override;
    const TranslatedShader& shader() const { return *shader_; }

  private:
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<const TranslatedShader> shader_;
};

class PixelShader final : public RefCounted<IDirect3DPixelShader9> {
  public:
    PixelShader(std::shared_ptr<Shared> shared, std::shared_ptr<const TranslatedShader> shader)
        : shared_(std::move(shared)), shader_(std::move(shader)) {}
    ~PixelShader() override;
    HRESULT GetFunction(void* pData, UINT* pSizeOfData) override;
    const TranslatedShader& shader() const { return *shader_; }

  private:
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<const TranslatedShader> shader_;
};

} // namespace platform::d3d9
