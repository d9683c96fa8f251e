#include "tests/dx/fakedevice.h"

#include <cstring>

using ::testing::_;
using ::testing::DoAll;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::SetArgPointee;

namespace dx::test {

Texture::Texture(UINT width, UINT height, UINT levelCount, D3DFORMAT textureFormat, int bytesPerPixel, int padding)
    : format(textureFormat) {
    for (UINT l = 0; l < levelCount; ++l) {
        const UINT w = std::max(width >> l, 1u);
        const UINT h = std::max(height >> l, 1u);
        const int pitch = static_cast<int>(w) * bytesPerPixel + padding;
        levels.push_back(Level{w, h, pitch, std::vector<std::uint8_t>(static_cast<std::size_t>(pitch) * h, 0xCD)});
        auto surface = std::make_unique<Surface>();
        surface->desc.Format = format;
        surface->desc.Width = w;
        surface->desc.Height = h;
        surfaces.push_back(std::move(surface));
    }
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* out) {
    if (level >= levels.size()) {
        return D3DERR_INVALIDCALL;
    }
    *out = surfaces[level]->desc;
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (level >= levels.size()) {
        return D3DERR_INVALIDCALL;
    }
    *surface = surfaces[level].get();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT*, DWORD) {
    if (level >= levels.size()) {
        return D3DERR_INVALIDCALL;
    }
    ++locks;
    locked->pBits = levels[level].bytes.data();
    locked->Pitch = levels[level].pitch;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT) {
    ++unlocks;
    return D3D_OK;
}

std::uint32_t Texture::word(UINT level, UINT x, UINT y) const {
    std::uint32_t w;
    std::memcpy(&w, levels[level].bytes.data() + static_cast<std::size_t>(y) * levels[level].pitch + x * 4u, 4);
    return w;
}

std::uint16_t Texture::texel16(UINT level, UINT x, UINT y) const {
    std::uint16_t t;
    std::memcpy(&t, levels[level].bytes.data() + static_cast<std::size_t>(y) * levels[level].pitch + x * 2u, 2);
    return t;
}

HRESULT VertexBuffer::Lock(UINT, UINT, void** data, DWORD flags) {
    lockFlags.push_back(flags);
    locked = true;
    *data = bytes.data();
    return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
    ++unlocks;
    locked = false;
    return D3D_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* out) {
    *out = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER,           usage,
                                D3DPOOL_DEFAULT,   static_cast<UINT>(bytes.size()), 0};
    return D3D_OK;
}

Declaration::Declaration(const D3DVERTEXELEMENT9* e) {
    for (;; ++e) {
        elements.push_back(*e);
        if (e->Stream == 0xFF) {
            break;
        }
    }
}

namespace {

int bytesPerPixelOf(D3DFORMAT format) {
    return format == D3DFMT_A4R4G4B4 ? 2 : 4;
}

UINT fullChain(UINT w, UINT h) {
    UINT n = 1;
    while (w > 1 || h > 1) {
        w = std::max(w / 2, 1u);
        h = std::max(h / 2, 1u);
        ++n;
    }
    return n;
}

} // namespace

Device::Device() {
    ON_CALL(*this, CreateTexture(_, _, _, _, _, _, _, _))
        .WillByDefault(Invoke([this](UINT w, UINT h, UINT levels, DWORD, D3DFORMAT format, D3DPOOL,
                                     IDirect3DTexture9** out, HANDLE*) {
            const UINT count = levels == 0 ? fullChain(w, h) : levels;
            textures.push_back(std::make_unique<Texture>(w, h, count, format, bytesPerPixelOf(format), texturePadding));
            *out = textures.back().get();
            return D3D_OK;
        }));
    ON_CALL(*this, CreateDepthStencilSurface(_, _, _, _, _, _, _, _))
        .WillByDefault(Invoke([this](UINT w, UINT h, D3DFORMAT format, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                     IDirect3DSurface9** out, HANDLE*) {
            auto surface = std::make_unique<Surface>();
            surface->desc.Format = format;
            surface->desc.Width = w;
            surface->desc.Height = h;
            depthSurfaces.push_back(std::move(surface));
            *out = depthSurfaces.back().get();
            return D3D_OK;
        }));
    ON_CALL(*this, CreateVertexBuffer(_, _, _, _, _, _))
        .WillByDefault(Invoke([this](UINT length, DWORD usage, DWORD, D3DPOOL, IDirect3DVertexBuffer9** out, HANDLE*) {
            vertexBuffers.push_back(std::make_unique<VertexBuffer>(length, usage));
            *out = vertexBuffers.back().get();
            return D3D_OK;
        }));
    ON_CALL(*this, CreateIndexBuffer(_, _, _, _, _, _))
        .WillByDefault(Invoke([this](UINT length, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer9** out, HANDLE*) {
            indexBuffers.push_back(std::make_unique<IndexBuffer>(length));
            *out = indexBuffers.back().get();
            return D3D_OK;
        }));
    ON_CALL(*this, CreateVertexDeclaration(_, _))
        .WillByDefault(Invoke([this](const D3DVERTEXELEMENT9* e, IDirect3DVertexDeclaration9** out) {
            declarations.push_back(std::make_unique<Declaration>(e));
            *out = declarations.back().get();
            return D3D_OK;
        }));
    ON_CALL(*this, GetBackBuffer(_, _, _, _)).WillByDefault(DoAll(SetArgPointee<3>(&backBuffer), Return(D3D_OK)));
    ON_CALL(*this, GetDepthStencilSurface(_)).WillByDefault(DoAll(SetArgPointee<0>(&autoDepth), Return(D3D_OK)));
}

Direct3D::Direct3D() {
    caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps.MaxSimultaneousTextures = 8;
    caps.VertexShaderVersion = D3DVS_VERSION(2, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    ON_CALL(*this, GetAdapterCount()).WillByDefault(Invoke([this] { return static_cast<UINT>(descriptions.size()); }));
    ON_CALL(*this, GetAdapterIdentifier(_, _, _))
        .WillByDefault(Invoke([this](UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) {
            if (adapter >= descriptions.size()) {
                return D3DERR_INVALIDCALL;
            }
            *id = D3DADAPTER_IDENTIFIER9{};
            std::strncpy(id->Description, descriptions[adapter].c_str(), sizeof id->Description - 1);
            // Product 6, version 14, sub-version 10, build 1: the dialog shows the version, 14.
            id->DriverVersion.u.HighPart = (6 << 16) | 14;
            id->DriverVersion.u.LowPart = (10u << 16) | 1u;
            return D3D_OK;
        }));
    ON_CALL(*this, GetAdapterModeCount(_, _)).WillByDefault(Invoke([this](UINT, D3DFORMAT format) {
        return format == D3DFMT_X8R8G8B8 ? static_cast<UINT>(modes.size()) : 0u;
    }));
    ON_CALL(*this, EnumAdapterModes(_, _, _, _))
        .WillByDefault(Invoke([this](UINT, D3DFORMAT, UINT m, D3DDISPLAYMODE* mode) {
            if (m >= modes.size()) {
                return D3DERR_INVALIDCALL;
            }
            *mode = modes[m];
            return D3D_OK;
        }));
    ON_CALL(*this, GetDeviceCaps(_, _, _)).WillByDefault(Invoke([this](UINT adapter, D3DDEVTYPE, D3DCAPS9* out) {
        *out = caps;
        out->AdapterOrdinal = adapter;
        return D3D_OK;
    }));
    ON_CALL(*this, CreateDevice(_, _, _, _, _, _))
        .WillByDefault(Invoke(
            [this](UINT, D3DDEVTYPE, HWND, DWORD behaviour, D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** out) {
                lastParameters = *parameters;
                lastBehaviour = behaviour;
                *out = &device;
                return D3D_OK;
            }));
}

} // namespace dx::test
