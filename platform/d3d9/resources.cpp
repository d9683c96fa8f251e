#include "platform/d3d9/resources.h"

#include "platform/d3d9/device.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/refusal.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace platform::d3d9 {

void logFailure(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    kernel::logRefusalV("d3d9", format, args);
    va_end(args);
}

// D3DFORMAT layouts: channels named from the most significant bit down,
// stored little-endian (A8R8G8B8 = bytes B, G, R, A).
const FormatInfo* colorFormat(D3DFORMAT format) {
    static const FormatInfo kFormats[] = {
        {D3DFMT_A8R8G8B8, 4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, false},
        {D3DFMT_X8R8G8B8, 4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, true, false},
        {D3DFMT_A4R4G4B4, 2, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, false},
        {D3DFMT_G16R16, 4, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, true, true},
    };
    // OpenGL ES 3.0 (WebGL 2) has no 16-bit normalised formats: G16R16 is
    // kept as two 32-bit floats there, which EXT_color_buffer_float makes a
    // render target and which hold every 16-bit value exactly.
    static const FormatInfo kEsG16R16 = {D3DFMT_G16R16, 4, GL_RG32F, GL_RG, GL_FLOAT, true, true};
    if (format == D3DFMT_G16R16 && !gl::isDesktop()) {
        return &kEsG16R16;
    }
    for (const auto& f : kFormats) {
        if (f.format == format) {
            return &f;
        }
    }
    return nullptr;
}

void glPixelFormat(const FormatInfo& info, GLenum& format, GLenum& type) {
    format = info.uploadFormat;
    type = info.uploadType;
    if (!gl::isDesktop() && info.uploadFormat == GL_BGRA) {
        format = GL_RGBA;
        type = info.bytesPerPixel == 4 ? GL_UNSIGNED_BYTE : GL_UNSIGNED_SHORT_4_4_4_4;
    }
}

const std::uint8_t* glPixels(const FormatInfo& info, const std::vector<std::uint8_t>& pixels,
                             std::vector<std::uint8_t>& scratch) {
    if (!gl::isDesktop() && info.uploadType == GL_FLOAT) {
        // G16R16 as floats: each 16-bit channel c becomes c / 65535.
        scratch.resize(pixels.size() * 2);
        for (std::size_t i = 0; i + 2 <= pixels.size(); i += 2) {
            std::uint16_t channel = 0;
            std::memcpy(&channel, &pixels[i], 2);
            const float value = static_cast<float>(channel) / 65535.0f;
            std::memcpy(&scratch[i * 2], &value, sizeof value);
        }
        return scratch.data();
    }
    if (gl::isDesktop() || info.uploadFormat != GL_BGRA) {
        return pixels.data();
    }
    scratch.resize(pixels.size());
    const std::uint8_t alpha = info.alphaIsOne ? 0xFF : 0x00;
    for (std::size_t i = 0; i + info.bytesPerPixel <= pixels.size(); i += info.bytesPerPixel) {
        if (info.bytesPerPixel == 4) {
            // Bytes B, G, R, A to R, G, B, A.
            scratch[i] = pixels[i + 2];
            scratch[i + 1] = pixels[i + 1];
            scratch[i + 2] = pixels[i];
            scratch[i + 3] = pixels[i + 3] | alpha;
        } else {
            // A4R4G4B4 to R4G4B4A4, from the top nibble down.
            std::uint16_t argb = 0;
            std::memcpy(&argb, &pixels[i], 2);
            const auto rgba = static_cast<std::uint16_t>((argb << 4) | (argb >> 12) | (alpha & 0x0F));
            std::memcpy(&scratch[i], &rgba, 2);
        }
    }
    return scratch.data();
}

bool depthFormat(D3DFORMAT format, GLenum& internalFormat) {
    switch (format) {
    case D3DFMT_D24S8:
        internalFormat = GL_DEPTH24_STENCIL8;
        return true;
    case D3DFMT_D24X8:
        internalFormat = GL_DEPTH_COMPONENT24;
        return true;
    case D3DFMT_D16:
        internalFormat = GL_DEPTH_COMPONENT16;
        return true;
    case D3DFMT_D32:
        internalFormat = GL_DEPTH_COMPONENT32;
        return true;
    default:
        return false;
    }
}

// ---- Surface ----

Surface::Surface(std::shared_ptr<Shared> shared, IUnknown* container, Texture* texture, UINT level, UINT width,
                 UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool)
    : shared_(std::move(shared)), container_(container), texture_(texture), level_(level), width_(width),
      height_(height), format_(format), usage_(usage), pool_(pool) {}

Surface::~Surface() {
    if (renderbuffer_ != 0) {
        shared_->context->makeCurrent();
        if (shared_->device != nullptr) {
            shared_->device->forget(this);
        }
        gl::DeleteRenderbuffers(1, &renderbuffer_);
    }
}

bool Surface::createDepthStorage(GLenum internalFormat) {
    gl::GenRenderbuffers(1, &renderbuffer_);
    gl::BindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
    gl::RenderbufferStorage(GL_RENDERBUFFER, internalFormat, static_cast<GLsizei>(width_),
                            static_cast<GLsizei>(height_));
    gl::BindRenderbuffer(GL_RENDERBUFFER, 0);
    return gl::GetError() == GL_NO_ERROR;
}

ULONG Surface::AddRef() {
    if (container_ != nullptr) {
        return container_->AddRef();
    }
    return ++ownRefs_;
}

ULONG Surface::Release() {
    if (container_ != nullptr) {
        return container_->Release();
    }
    if (ownRefs_ == 0) {
        logFailure("Release of a surface with no references");
        return 0;
    }
    ULONG left = --ownRefs_;
    if (left == 0) {
        delete this;
    }
    return left;
}

GLuint Surface::glTexture() const {
    return texture_ != nullptr ? texture_->glTexture() : 0;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* pDesc) {
    if (pDesc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *pDesc = D3DSURFACE_DESC{format_, D3DRTYPE_SURFACE, usage_, pool_, D3DMULTISAMPLE_NONE, 0, width_, height_};
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) {
    if (texture_ == nullptr) {
        logFailure("LockRect on a depth surface is outside the subset");
        return D3DERR_INVALIDCALL;
    }
    return texture_->LockRect(level_, pLockedRect, pRect, Flags);
}

HRESULT Surface::UnlockRect() {
    if (texture_ == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return texture_->UnlockRect(level_);
}

// ---- Texture ----

Texture::Texture(std::shared_ptr<Shared> shared, UINT width, UINT height, UINT levels, DWORD usage,
                 const FormatInfo& format, D3DPOOL pool)
    : shared_(std::move(shared)), width_(width), height_(height), usage_(usage), format_(format), pool_(pool) {
    gl::GenTextures(1, &texture_);
    gl::BindTexture(GL_TEXTURE_2D, texture_);
    // GL is handed no pixels: a first lock of a level finds zeros of its own
    // making (the level is not read back until something was written), so the
    // levels that callers fill at once are not cleared and uploaded first.
    for (UINT l = 0; l < levels; ++l) {
        LevelData level{std::max(1u, width >> l), std::max(1u, height >> l), {}, false, false, nullptr};
        GLenum pixelFormat = 0;
        GLenum pixelType = 0;
        glPixelFormat(format, pixelFormat, pixelType);
        gl::TexImage2D(GL_TEXTURE_2D, static_cast<GLint>(l), static_cast<GLint>(format.internalFormat),
                       static_cast<GLsizei>(level.width), static_cast<GLsizei>(level.height), 0, pixelFormat, pixelType,
                       nullptr);
        levels_.push_back(std::move(level));
    }
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
    if (format.alphaIsOne && gl::isDesktop()) {
        gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    }
    if (format.blueIsOne && gl::isDesktop()) {
        gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_ONE);
    }
    gl::BindTexture(GL_TEXTURE_2D, 0);
    if (shared_->device != nullptr) {
        shared_->device->textureBindingChanged();
    }
}

Texture::~Texture() {
    shared_->context->makeCurrent();
    if (shared_->device != nullptr) {
        for (auto& level : levels_) {
            if (level.surface != nullptr) {
                shared_->device->forget(level.surface);
            }
        }
        shared_->device->forget(this);
    }
    for (auto& level : levels_) {
        delete level.surface;
    }
    gl::DeleteTextures(1, &texture_);
}

HRESULT Texture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) {
    if (Level >= levels_.size() || pDesc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *pDesc = D3DSURFACE_DESC{format_.format,       D3DRTYPE_SURFACE,     usage_, pool_, D3DMULTISAMPLE_NONE, 0,
                             levels_[Level].width, levels_[Level].height};
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) {
    if (ppSurfaceLevel == nullptr || Level >= levels_.size()) {
        logFailure("GetSurfaceLevel(%u) of a texture with %zu levels", Level, levels_.size());
        return D3DERR_INVALIDCALL;
    }
    auto& level = levels_[Level];
    if (level.surface == nullptr) {
        level.surface =
            new Surface(shared_, this, this, Level, level.width, level.height, format_.format, usage_, pool_);
    }
    AddRef();
    *ppSurfaceLevel = level.surface;
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) {
    if (pLockedRect == nullptr || Level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    if (isRenderTarget()) {
        logFailure("LockRect on a render-target texture is outside the subset");
        return D3DERR_INVALIDCALL;
    }
    auto& level = levels_[Level];
    if (level.locked) {
        logFailure("LockRect of a level that is already locked");
        return D3DERR_INVALIDCALL;
    }
    UINT x = 0;
    UINT y = 0;
    if (pRect != nullptr) {
        if (pRect->left < 0 || pRect->top < 0 || pRect->right > static_cast<LONG>(level.width) ||
            pRect->bottom > static_cast<LONG>(level.height) || pRect->left >= pRect->right ||
            pRect->top >= pRect->bottom) {
            logFailure("LockRect rectangle outside the level");
            return D3DERR_INVALIDCALL;
        }
        x = static_cast<UINT>(pRect->left);
        y = static_cast<UINT>(pRect->top);
    }
    (void)Flags; // every lock reads and writes a whole copy of the level, so all flags behave alike
    const std::size_t bytes = static_cast<std::size_t>(level.width) * level.height * format_.bytesPerPixel;
    if (gl::isDesktop() || level.pixels.size() != bytes) {
        level.pixels.assign(bytes, 0);
    }
    if (level.written && gl::isDesktop()) {
        // The level's contents live in GL between locks: read them back.
        shared_->context->makeCurrent();
        gl::BindTexture(GL_TEXTURE_2D, texture_);
        gl::PixelStorei(GL_PACK_ALIGNMENT, 1);
        gl::GetTexImage(GL_TEXTURE_2D, static_cast<GLint>(Level), format_.uploadFormat, format_.uploadType,
                        level.pixels.data());
        gl::BindTexture(GL_TEXTURE_2D, 0);
        if (shared_->device != nullptr) {
            shared_->device->textureBindingChanged();
        }
    }
    level.locked = true;
    const UINT pitch = level.width * format_.bytesPerPixel;
    pLockedRect->Pitch = static_cast<INT>(pitch);
    pLockedRect->pBits = level.pixels.data() + static_cast<std::size_t>(y) * pitch + x * format_.bytesPerPixel;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT Level) {
    if (Level >= levels_.size() || !levels_[Level].locked) {
        logFailure("UnlockRect of a level that is not locked");
        return D3DERR_INVALIDCALL;
    }
    auto& level = levels_[Level];
    level.locked = false;
    shared_->context->makeCurrent();
    gl::BindTexture(GL_TEXTURE_2D, texture_);
    gl::PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLenum pixelFormat = 0;
    GLenum pixelType = 0;
    glPixelFormat(format_, pixelFormat, pixelType);
    std::vector<std::uint8_t> scratch;
    gl::TexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(Level), 0, 0, static_cast<GLsizei>(level.width),
                      static_cast<GLsizei>(level.height), pixelFormat, pixelType,
                      glPixels(format_, level.pixels, scratch));
    gl::BindTexture(GL_TEXTURE_2D, 0);
    level.written = true;
    if (gl::isDesktop()) {
        std::vector<std::uint8_t>().swap(level.pixels);
    }
    ++shared_->counters.uploads;
    if (shared_->device != nullptr) {
        shared_->device->textureBindingChanged();
    }
    return D3D_OK;
}

// ---- Buffers ----

namespace {

// Checks a lock range; SizeToLock 0 means to the end.
bool lockRange(UINT offset, UINT size, std::size_t total, UINT& outSize) {
    if (offset > total) {
        return false;
    }
    outSize = size == 0 ? static_cast<UINT>(total - offset) : size;
    return static_cast<std::size_t>(offset) + outSize <= total;
}

} // namespace

// Desktop GL keeps the only copy of the contents: a lock maps the range asked
// for and the unlock hands it back, so nothing is held on this side between
// locks. OpenGL ES maps no buffers (WebGL 2 has no glMapBufferRange): the
// contents live in copy_ as well, and an unlock sends the locked range.
BufferStore::BufferStore(std::shared_ptr<Shared> shared, GLenum target, UINT length, DWORD usage, GLenum glUsage)
    : shared_(std::move(shared)), target_(target), size_(length), usage_(usage), glUsage_(glUsage) {
    if (!gl::isDesktop()) {
        copy_.assign(length, 0);
    }
    gl::GenBuffers(1, &buffer_);
    if (!gl::isDesktop() && target_ == GL_COPY_WRITE_BUFFER) {
        // WebGL 2 keeps index data and other data in buffers of two kinds, and
        // a buffer's first binding decides its kind: an index store is first
        // bound as indices, outside the device's vertex array object.
        GLint vertexArray = 0;
        gl::GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
        gl::BindVertexArray(0);
        gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer_);
        gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        gl::BindVertexArray(static_cast<GLuint>(vertexArray));
    }
    gl::BindBuffer(target_, buffer_);
    gl::BufferData(target_, length, nullptr, glUsage_);
}

BufferStore::~BufferStore() {
    shared_->context->makeCurrent();
    if (locked_ && lockSize_ > 0 && copy_.empty()) {
        gl::BindBuffer(target_, buffer_);
        gl::UnmapBuffer(target_);
    }
    gl::DeleteBuffers(1, &buffer_);
}

HRESULT BufferStore::lock(const char* what, UINT offset, UINT sizeToLock, void** data, DWORD flags) {
    UINT size = 0;
    if (data == nullptr || locked_ || !lockRange(offset, sizeToLock, size_, size)) {
        logFailure("%s Lock(%u, %u) refused", what, offset, sizeToLock);
        return D3DERR_INVALIDCALL;
    }
    if ((flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) != 0 && (usage_ & D3DUSAGE_DYNAMIC) == 0) {
        logFailure("D3DLOCK_DISCARD and D3DLOCK_NOOVERWRITE need a dynamic buffer");
        return D3DERR_INVALIDCALL;
    }
    void* mapped = nullptr;
    if (size > 0) {
        shared_->context->makeCurrent();
        gl::BindBuffer(target_, buffer_);
        const bool readOnly = (flags & D3DLOCK_READONLY) != 0;
        GLbitfield access = readOnly ? GL_MAP_READ_BIT : GL_MAP_WRITE_BIT;
        if (!readOnly && (usage_ & D3DUSAGE_WRITEONLY) == 0) {
            access |= GL_MAP_READ_BIT; // a buffer that is not write-only may be read through its lock
        }
        if (!readOnly && (flags & D3DLOCK_DISCARD) != 0) {
            // A fresh store: draws queued with the old contents keep them, and
            // the lock does not wait for them.
            gl::BufferData(target_, size_, nullptr, glUsage_);
        }
        // D3DLOCK_NOOVERWRITE maps synchronised all the same: callers that
        // refill a whole pool under it every frame would otherwise write
        // under draws still queued from the frame before.
        mapped = copy_.empty() ? gl::MapBufferRange(target_, offset, size, access) : copy_.data() + offset;
        if (mapped == nullptr) {
            logFailure("%s Lock(%u, %u): the GL store could not be mapped", what, offset, sizeToLock);
            return D3DERR_INVALIDCALL;
        }
    }
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size;
    lockFlags_ = flags;
    *data = mapped;
    return D3D_OK;
}

HRESULT BufferStore::unlock(const char* what) {
    if (!locked_) {
        logFailure("%s Unlock without Lock", what);
        return D3DERR_INVALIDCALL;
    }
    locked_ = false;
    if (lockSize_ == 0) {
        return D3D_OK;
    }
    shared_->context->makeCurrent();
    gl::BindBuffer(target_, buffer_);
    if (!copy_.empty()) {
        if ((lockFlags_ & D3DLOCK_READONLY) == 0) {
            gl::BufferSubData(target_, lockOffset_, lockSize_, copy_.data() + lockOffset_);
        }
    } else if (gl::UnmapBuffer(target_) == GL_FALSE) {
        logFailure("%s Unlock: the GL store lost its contents while mapped", what);
    }
    if ((lockFlags_ & D3DLOCK_READONLY) == 0) {
        ++shared_->counters.uploads;
    }
    return D3D_OK;
}

VertexBuffer::VertexBuffer(std::shared_ptr<Shared> shared, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : store_(std::move(shared), GL_ARRAY_BUFFER, length, usage,
             (usage & D3DUSAGE_DYNAMIC) != 0 ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW),
      fvf_(fvf), pool_(pool) {}

VertexBuffer::~VertexBuffer() {
    store_.shared().context->makeCurrent();
    if (store_.shared().device != nullptr) {
        store_.shared().device->forget(this);
    }
}

HRESULT VertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) {
    return store_.lock("vertex buffer", OffsetToLock, SizeToLock, ppbData, Flags);
}

HRESULT VertexBuffer::Unlock() {
    return store_.unlock("vertex buffer");
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (pDesc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *pDesc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, store_.usage(), pool_, size(), fvf_};
    return D3D_OK;
}

// Bound outside any vertex array object: an element binding belongs to the VAO.
IndexBuffer::IndexBuffer(std::shared_ptr<Shared> shared, UINT length, DWORD usage, D3DPOOL pool)
    : store_(std::move(shared), GL_COPY_WRITE_BUFFER, length, usage, GL_STATIC_DRAW), pool_(pool) {}

IndexBuffer::~IndexBuffer() {
    store_.shared().context->makeCurrent();
    if (store_.shared().device != nullptr) {
        store_.shared().device->forget(this);
    }
}

// Index buffers take no lock flags: every lock writes, and in place.
HRESULT IndexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD /*Flags*/) {
    return store_.lock("index buffer", OffsetToLock, SizeToLock, ppbData, 0);
}

HRESULT IndexBuffer::Unlock() {
    return store_.unlock("index buffer");
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    if (pDesc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *pDesc = D3DINDEXBUFFER_DESC{D3DFMT_INDEX16, D3DRTYPE_INDEXBUFFER, store_.usage(), pool_, size()};
    return D3D_OK;
}

// ---- Vertex layouts ----

bool layoutFromFvf(DWORD fvf, VertexLayout& layout, std::string& error) {
    layout = VertexLayout{};
    const DWORD known =
        D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if ((fvf & ~known) != 0 || (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW)) {
        error = "FVF code outside the subset (position XYZ or XYZRHW, normal, point size, two colours, "
                "two-float texture sets)";
        return false;
    }
    UINT offset = 0;
    auto add = [&](GLuint location, GLint size, GLenum type, GLboolean normalized, UINT bytes) {
        layout.attributes.push_back(VertexAttribute{location, size, type, normalized, offset});
        offset += bytes;
    };
    layout.pretransformed = position == D3DFVF_XYZRHW;
    if (layout.pretransformed) {
        add(kAttrPosition, 4, GL_FLOAT, GL_FALSE, 16);
    } else {
        add(kAttrPosition, 3, GL_FLOAT, GL_FALSE, 12);
    }
    if ((fvf & D3DFVF_NORMAL) != 0) {
        layout.hasNormal = true;
        add(kAttrNormal, 3, GL_FLOAT, GL_FALSE, 12);
    }
    if ((fvf & D3DFVF_PSIZE) != 0) {
        layout.hasPointSize = true;
        add(kAttrPointSize, 1, GL_FLOAT, GL_FALSE, 4);
    }
    // D3DCOLOR is 0xAARRGGBB in a DWORD: bytes B, G, R, A, which GL_BGRA reads as RGBA.
    if ((fvf & D3DFVF_DIFFUSE) != 0) {
        layout.hasDiffuse = true;
        add(kAttrColor0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    }
    if ((fvf & D3DFVF_SPECULAR) != 0) {
        layout.hasSpecular = true;
        add(kAttrColor1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    }
    layout.texcoordSets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (layout.texcoordSets > 8) {
        error = "more than eight texture coordinate sets";
        return false;
    }
    for (unsigned i = 0; i < layout.texcoordSets; ++i) {
        add(kAttrTexcoord0 + i, 2, GL_FLOAT, GL_FALSE, 8);
    }
    layout.stride = offset;
    return true;
}

bool layoutFromDeclaration(const D3DVERTEXELEMENT9* elements, VertexLayout& layout, std::string& error) {
    layout = VertexLayout{};
    for (const D3DVERTEXELEMENT9* e = elements; e->Stream != 0xFF; ++e) {
        if (e->Stream != 0 || e->Method != D3DDECLMETHOD_DEFAULT) {
            error = "declarations use stream 0 and the default method only";
            return false;
        }
        GLint size = 0;
        GLenum type = GL_FLOAT;
        GLboolean normalized = GL_FALSE;
        switch (e->Type) {
        case D3DDECLTYPE_FLOAT1:
        case D3DDECLTYPE_FLOAT2:
        case D3DDECLTYPE_FLOAT3:
        case D3DDECLTYPE_FLOAT4:
            size = e->Type + 1;
            break;
        case D3DDECLTYPE_D3DCOLOR:
            size = GL_BGRA;
            type = GL_UNSIGNED_BYTE;
            normalized = GL_TRUE;
            break;
        case D3DDECLTYPE_UBYTE4N:
            size = 4;
            type = GL_UNSIGNED_BYTE;
            normalized = GL_TRUE;
            break;
        default:
            error = "declaration type " + std::to_string(e->Type) + " is outside the subset";
            return false;
        }
        GLuint location = 0;
        switch (e->Usage) {
        case D3DDECLUSAGE_POSITION:
            location = kAttrPosition;
            break;
        case D3DDECLUSAGE_POSITIONT:
            location = kAttrPosition;
            layout.pretransformed = true;
            break;
        case D3DDECLUSAGE_NORMAL:
            location = kAttrNormal;
            layout.hasNormal = true;
            break;
        case D3DDECLUSAGE_PSIZE:
            location = kAttrPointSize;
            layout.hasPointSize = true;
            break;
        case D3DDECLUSAGE_COLOR:
            location = e->UsageIndex == 0 ? kAttrColor0 : kAttrColor1;
            (e->UsageIndex == 0 ? layout.hasDiffuse : layout.hasSpecular) = true;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            location = kAttrTexcoord0 + e->UsageIndex;
            layout.texcoordSets = std::max(layout.texcoordSets, e->UsageIndex + 1u);
            break;
        default:
            error = "declaration usage " + std::to_string(e->Usage) + " is outside the subset";
            return false;
        }
        if ((e->Usage != D3DDECLUSAGE_COLOR && e->Usage != D3DDECLUSAGE_TEXCOORD && e->UsageIndex != 0) ||
            (e->Usage == D3DDECLUSAGE_COLOR && e->UsageIndex > 1) || e->UsageIndex > 7) {
            error = "usage index outside the subset";
            return false;
        }
        layout.attributes.push_back(VertexAttribute{location, size, type, normalized, e->Offset});
    }
    return true;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) {
    if (pNumElements == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (pElement != nullptr) {
        std::memcpy(pElement, elements_.data(), elements_.size() * sizeof(D3DVERTEXELEMENT9));
    }
    *pNumElements = static_cast<UINT>(elements_.size());
    return D3D_OK;
}

// ---- Shaders ----

namespace {

HRESULT functionOf(const TranslatedShader& shader, void* pData, UINT* pSizeOfData) {
    if (pSizeOfData == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    auto bytes = static_cast<UINT>(shader.tokens.size() * sizeof(DWORD));
    if (pData != nullptr) {
        if (*pSizeOfData < bytes) {
            return D3DERR_MOREDATA;
        }
        std::memcpy(pData, shader.tokens.data(), bytes);
    }
    *pSizeOfData = bytes;
    return D3D_OK;
}

} // namespace

VertexShader::~VertexShader() {
    shared_->context->makeCurrent();
    if (shared_->device != nullptr) {
        shared_->device->forget(this);
    }
}

HRESULT VertexShader::GetFunction(void* pData, UINT* pSizeOfData) {
    return functionOf(*shader_, pData, pSizeOfData);
}

PixelShader::~PixelShader() {
    shared_->context->makeCurrent();
    if (shared_->device != nullptr) {
        shared_->device->forget(this);
    }
}

HRESULT PixelShader::GetFunction(void* pData, UINT* pSizeOfData) {
    return functionOf(*shader_, pData, pSizeOfData);
}

} // namespace platform::d3d9
