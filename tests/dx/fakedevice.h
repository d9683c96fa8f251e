// A Direct3D device and Direct3D object for tests of the framework: gmock
// mocks whose default actions hand out small in-memory resources, so that
// tests can check the calls made and the bytes uploaded without a GL context.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dx::test {

// Reference counting is not what these tests look at: objects live as long as the mock.
template <class Interface> class Counted : public Interface {
  public:
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return references == 0 ? 0 : --references; }
    ULONG references = 1;
};

class Surface : public Counted<IDirect3DSurface9> {
  public:
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* out) override {
        *out = desc;
        return D3D_OK;
    }
    HRESULT LockRect(D3DLOCKED_RECT*, const RECT*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT UnlockRect() override { return D3D_OK; }
    D3DSURFACE_DESC desc{};
};

// A texture whose levels are plain memory with a chosen row padding.
class Texture : public Counted<IDirect3DTexture9> {
  public:
    Texture(UINT width, UINT height, UINT levels, D3DFORMAT format, int bytesPerPixel, int padding);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* out) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    struct Level {
        UINT width;
        UINT height;
        int pitch;
        std::vector<std::uint8_t> bytes;
    };
    // Word x of row y of a level with 32-bit texels.
    std::uint32_t word(UINT level, UINT x, UINT y) const;
    std::uint16_t texel16(UINT level, UINT x, UINT y) const;

    D3DFORMAT format;
    std::vector<Level> levels;
    std::vector<std::unique_ptr<Surface>> surfaces;
    int locks = 0;
    int unlocks = 0;
};

class VertexBuffer : public Counted<IDirect3DVertexBuffer9> {
  public:
    VertexBuffer(UINT length, DWORD usageFlags) : bytes(length), usage(usageFlags) {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* out) override;
    std::vector<std::uint8_t> bytes;
    DWORD usage;
    std::vector<DWORD> lockFlags;
    int unlocks = 0;
    bool locked = false;
};

class IndexBuffer : public Counted<IDirect3DIndexBuffer9> {
  public:
    explicit IndexBuffer(UINT length) : bytes(length) {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT, UINT, void** data, DWORD) override {
        *data = bytes.data();
        return D3D_OK;
    }
    HRESULT Unlock() override { return D3D_OK; }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC*) override { return D3DERR_INVALIDCALL; }
    std::vector<std::uint8_t> bytes;
};

class Declaration : public Counted<IDirect3DVertexDeclaration9> {
  public:
    explicit Declaration(const D3DVERTEXELEMENT9* e);
    HRESULT GetDeclaration(D3DVERTEXELEMENT9*, UINT*) override { return D3DERR_INVALIDCALL; }
    std::vector<D3DVERTEXELEMENT9> elements;
};

class Device : public IDirect3DDevice9 {
  public:
    Device();
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    MOCK_METHOD(HRESULT, GetDeviceCaps, (D3DCAPS9*), (override));
    MOCK_METHOD(HRESULT, BeginScene, (), (override));
    MOCK_METHOD(HRESULT, EndScene, (), (override));
    MOCK_METHOD(HRESULT, Clear, (DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD), (override));
    MOCK_METHOD(HRESULT, Present, (const RECT*, const RECT*, HWND, const RGNDATA*), (override));
    MOCK_METHOD(HRESULT, GetBackBuffer, (UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**), (override));
    MOCK_METHOD(HRESULT, SetRenderTarget, (DWORD, IDirect3DSurface9*), (override));
    MOCK_METHOD(HRESULT, GetRenderTarget, (DWORD, IDirect3DSurface9**), (override));
    MOCK_METHOD(HRESULT, SetDepthStencilSurface, (IDirect3DSurface9*), (override));
    MOCK_METHOD(HRESULT, GetDepthStencilSurface, (IDirect3DSurface9**), (override));
    MOCK_METHOD(HRESULT, SetViewport, (const D3DVIEWPORT9*), (override));
    MOCK_METHOD(HRESULT, GetViewport, (D3DVIEWPORT9*), (override));
    MOCK_METHOD(HRESULT, CreateTexture, (UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**, HANDLE*),
                (override));
    MOCK_METHOD(HRESULT, CreateDepthStencilSurface,
                (UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**, HANDLE*), (override));
    MOCK_METHOD(HRESULT, CreateVertexBuffer, (UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9**, HANDLE*),
                (override));
    MOCK_METHOD(HRESULT, CreateIndexBuffer, (UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer9**, HANDLE*),
                (override));
    MOCK_METHOD(HRESULT, CreateVertexDeclaration, (const D3DVERTEXELEMENT9*, IDirect3DVertexDeclaration9**),
                (override));
    MOCK_METHOD(HRESULT, SetVertexDeclaration, (IDirect3DVertexDeclaration9*), (override));
    MOCK_METHOD(HRESULT, SetFVF, (DWORD), (override));
    MOCK_METHOD(HRESULT, SetStreamSource, (UINT, IDirect3DVertexBuffer9*, UINT, UINT), (override));
    MOCK_METHOD(HRESULT, SetIndices, (IDirect3DIndexBuffer9*), (override));
    MOCK_METHOD(HRESULT, DrawPrimitive, (D3DPRIMITIVETYPE, UINT, UINT), (override));
    MOCK_METHOD(HRESULT, DrawIndexedPrimitive, (D3DPRIMITIVETYPE, INT, UINT, UINT, UINT, UINT), (override));
    MOCK_METHOD(HRESULT, DrawPrimitiveUP, (D3DPRIMITIVETYPE, UINT, const void*, UINT), (override));
    MOCK_METHOD(HRESULT, SetTransform, (D3DTRANSFORMSTATETYPE, const D3DMATRIX*), (override));
    MOCK_METHOD(HRESULT, GetTransform, (D3DTRANSFORMSTATETYPE, D3DMATRIX*), (override));
    MOCK_METHOD(HRESULT, SetRenderState, (D3DRENDERSTATETYPE, DWORD), (override));
    MOCK_METHOD(HRESULT, GetRenderState, (D3DRENDERSTATETYPE, DWORD*), (override));
    MOCK_METHOD(HRESULT, SetSamplerState, (DWORD, D3DSAMPLERSTATETYPE, DWORD), (override));
    MOCK_METHOD(HRESULT, SetTextureStageState, (DWORD, D3DTEXTURESTAGESTATETYPE, DWORD), (override));
    MOCK_METHOD(HRESULT, SetTexture, (DWORD, IDirect3DBaseTexture9*), (override));
    MOCK_METHOD(HRESULT, SetMaterial, (const D3DMATERIAL9*), (override));
    MOCK_METHOD(HRESULT, SetLight, (DWORD, const D3DLIGHT9*), (override));
    MOCK_METHOD(HRESULT, LightEnable, (DWORD, BOOL), (override));
    MOCK_METHOD(HRESULT, CreateVertexShader, (const DWORD*, IDirect3DVertexShader9**), (override));
    MOCK_METHOD(HRESULT, CreatePixelShader, (const DWORD*, IDirect3DPixelShader9**), (override));
    MOCK_METHOD(HRESULT, SetVertexShader, (IDirect3DVertexShader9*), (override));
    MOCK_METHOD(HRESULT, SetPixelShader, (IDirect3DPixelShader9*), (override));
    MOCK_METHOD(HRESULT, SetVertexShaderConstantF, (UINT, const float*, UINT), (override));
    MOCK_METHOD(HRESULT, SetPixelShaderConstantF, (UINT, const float*, UINT), (override));

    // Row padding in bytes of every texture level made from now on.
    int texturePadding = 0;
    std::vector<std::unique_ptr<Texture>> textures;
    std::vector<std::unique_ptr<Surface>> depthSurfaces;
    std::vector<std::unique_ptr<VertexBuffer>> vertexBuffers;
    std::vector<std::unique_ptr<IndexBuffer>> indexBuffers;
    std::vector<std::unique_ptr<Declaration>> declarations;
    Surface backBuffer;
    Surface autoDepth;
};

// A Direct3D object with one adapter whose modes, format answers and caps a test sets.
class Direct3D : public IDirect3D9 {
  public:
    Direct3D();
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    MOCK_METHOD(UINT, GetAdapterCount, (), (override));
    MOCK_METHOD(HRESULT, GetAdapterIdentifier, (UINT, DWORD, D3DADAPTER_IDENTIFIER9*), (override));
    MOCK_METHOD(UINT, GetAdapterModeCount, (UINT, D3DFORMAT), (override));
    MOCK_METHOD(HRESULT, EnumAdapterModes, (UINT, D3DFORMAT, UINT, D3DDISPLAYMODE*), (override));
    MOCK_METHOD(HRESULT, GetAdapterDisplayMode, (UINT, D3DDISPLAYMODE*), (override));
    MOCK_METHOD(HRESULT, CheckDeviceFormat, (UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT),
                (override));
    MOCK_METHOD(HRESULT, GetDeviceCaps, (UINT, D3DDEVTYPE, D3DCAPS9*), (override));
    MOCK_METHOD(HRESULT, CreateDevice, (UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**),
                (override));

    std::vector<D3DDISPLAYMODE> modes;
    std::vector<std::string> descriptions{"Fake Adapter"};
    D3DCAPS9 caps{};
    ::testing::NiceMock<Device> device;
    D3DPRESENT_PARAMETERS lastParameters{};
    DWORD lastBehaviour = 0;
};

} // namespace dx::test
