#include "platform/d3d9/device.h"
#include "platform/d3d9/display.h"
#include "platform/d3d9/shadertoglsl.h"
#include "platform/kernel/runmode.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform::d3d9 {
namespace {

DWORD vertexVersionLimit = D3DVS_VERSION(2, 0);
DWORD pixelVersionLimit = D3DPS_VERSION(2, 0);

std::vector<std::array<UINT, 2>> extraVirtualSizes;

// Without a display (virtual run mode) the adapter offers common modes at 60
// and 75 Hz, and the sizes addVirtualMode added.
std::vector<D3DDISPLAYMODE> virtualModes() {
    std::vector<std::array<UINT, 2>> sizes = {{640, 480},   {800, 600},   {1024, 768}, {1280, 720},
                                              {1280, 1024}, {1600, 1200}, {1920, 1080}};
    for (const auto& size : extraVirtualSizes) {
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) {
            sizes.push_back(size);
        }
    }
    std::vector<D3DDISPLAYMODE> modes;
    for (const auto& size : sizes) {
        for (UINT rate : {60u, 75u}) {
            modes.push_back(D3DDISPLAYMODE{size[0], size[1], rate, D3DFMT_X8R8G8B8});
        }
    }
    return modes;
}

D3DCAPS9 capsFor(UINT adapter) {
    D3DCAPS9 caps{};
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = adapter;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWRASTERIZATION;
    caps.MaxTextureWidth = 4096;
    caps.MaxTextureHeight = 4096;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 4096;
    caps.MaxAnisotropy = 1;
    caps.MaxVertexW = 1e10f;
    caps.MaxTextureBlendStages = kMaxStages;
    caps.MaxSimultaneousTextures = kMaxStages;
    caps.MaxActiveLights = kMaxLights;
    caps.MaxPointSize = 64.0f;
    caps.MaxPrimitiveCount = 0xFFFFF;
    caps.MaxVertexIndex = 0xFFFF;
    caps.MaxStreams = 1;
    caps.MaxStreamStride = 255;
    caps.VertexShaderVersion = vertexVersionLimit;
    caps.MaxVertexShaderConst = 256;
    caps.PixelShaderVersion = pixelVersionLimit;
    caps.PixelShader1xMaxValue = kPixelShader1xMaxValue;
    caps.MasterAdapterOrdinal = adapter;
    caps.NumberOfAdaptersInGroup = 1;
    caps.NumSimultaneousRTs = 1;
    return caps;
}

class Direct3D final : public RefCounted<IDirect3D9> {
  public:
    explicit Direct3D(bool live) : live_(live) {
        std::string error;
        if (live_ && !startDisplays(error)) {
            logFailure("%s", error.c_str());
            live_ = false;
        }
    }
    ~Direct3D() override {
        if (live_) {
            stopDisplays();
        }
    }

    UINT GetAdapterCount() override {
        if (!live_) {
            return 1;
        }
        const int count = displayCount();
        return count > 0 ? static_cast<UINT>(count) : 0;
    }

    HRESULT GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER9* pIdentifier) override {
        (void)Flags; // WHQL checks do not apply
        if (Adapter >= GetAdapterCount() || pIdentifier == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *pIdentifier = D3DADAPTER_IDENTIFIER9{};
        std::snprintf(pIdentifier->Driver, sizeof pIdentifier->Driver, "riza3v-gl33");
        const std::string name = live_ ? displayName(static_cast<int>(Adapter)) : "";
        std::snprintf(pIdentifier->Description, sizeof pIdentifier->Description, "%s (OpenGL 3.3)",
                      name.empty() ? "Virtual display" : name.c_str());
        std::snprintf(pIdentifier->DeviceName, sizeof pIdentifier->DeviceName, "\\\\.\\DISPLAY%u", Adapter + 1);
        // Product 1, version 0, sub-version 3, build 3: WORDs from the high end down.
        pIdentifier->DriverVersion.u.HighPart = (1 << 16) | 0;
        pIdentifier->DriverVersion.u.LowPart = (3u << 16) | 3u;
        return D3D_OK;
    }

    UINT GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override {
        if (Adapter >= GetAdapterCount() || Format != D3DFMT_X8R8G8B8) {
            return 0;
        }
        return static_cast<UINT>(modes(Adapter).size());
    }

    HRESULT EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) override {
        if (Adapter >= GetAdapterCount() || pMode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        if (Format != D3DFMT_X8R8G8B8) {
            return D3DERR_NOTAVAILABLE;
        }
        auto list = modes(Adapter);
        if (Mode >= list.size()) {
            return D3DERR_INVALIDCALL;
        }
        *pMode = list[Mode];
        return D3D_OK;
    }

    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override {
        if (Adapter >= GetAdapterCount() || pMode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        if (!live_) {
            *pMode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
            return D3D_OK;
        }
        return desktopMode(static_cast<int>(Adapter), *pMode) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    // Answers what the device can really do: colour targets and textures in
    // A8R8G8B8, X8R8G8B8, A4R4G4B4 and G16R16; depth in D24S8, D24X8, D16, D32.
    HRESULT CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                              D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override {
        if (Adapter >= GetAdapterCount() || DeviceType != D3DDEVTYPE_HAL) {
            return D3DERR_INVALIDCALL;
        }
        if (AdapterFormat != D3DFMT_X8R8G8B8) {
            return D3DERR_NOTAVAILABLE;
        }
        GLenum internal = 0;
        if (Usage == D3DUSAGE_DEPTHSTENCIL) {
            return RType == D3DRTYPE_SURFACE && depthFormat(CheckFormat, internal) ? D3D_OK : D3DERR_NOTAVAILABLE;
        }
        if ((Usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) != 0 ||
            (RType != D3DRTYPE_SURFACE && RType != D3DRTYPE_TEXTURE)) {
            return D3DERR_NOTAVAILABLE;
        }
        return colorFormat(CheckFormat) != nullptr ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) override {
        if (Adapter >= GetAdapterCount() || DeviceType != D3DDEVTYPE_HAL || pCaps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *pCaps = capsFor(Adapter);
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** ppReturnedDeviceInterface) override {
        if (ppReturnedDeviceInterface == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *ppReturnedDeviceInterface = nullptr;
        const DWORD processing =
            BehaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                             D3DCREATE_MIXED_VERTEXPROCESSING);
        GLenum internal = 0;
        if (Adapter >= GetAdapterCount() || DeviceType != D3DDEVTYPE_HAL || pp == nullptr ||
            (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
             processing != D3DCREATE_MIXED_VERTEXPROCESSING)) {
            logFailure("CreateDevice: bad adapter, device type, parameters or vertex processing flags");
            return D3DERR_INVALIDCALL;
        }
        D3DPRESENT_PARAMETERS params = *pp;
        if (params.BackBufferFormat == D3DFMT_UNKNOWN && params.Windowed != FALSE) {
            params.BackBufferFormat = D3DFMT_X8R8G8B8;
        }
        if ((params.BackBufferFormat != D3DFMT_X8R8G8B8 && params.BackBufferFormat != D3DFMT_A8R8G8B8) ||
            params.BackBufferWidth == 0 || params.BackBufferHeight == 0 || params.BackBufferWidth > 4096 ||
            params.BackBufferHeight > 4096 || params.BackBufferCount > 3 ||
            params.MultiSampleType != D3DMULTISAMPLE_NONE ||
            (params.EnableAutoDepthStencil != FALSE && !depthFormat(params.AutoDepthStencilFormat, internal)) ||
            (params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE &&
             params.PresentationInterval != D3DPRESENT_INTERVAL_ONE &&
             params.PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT)) {
            logFailure("CreateDevice: presentation parameters outside the subset");
            return D3DERR_INVALIDCALL;
        }
        if (params.BackBufferCount == 0) {
            params.BackBufferCount = 1;
        }
        *pp = params; // the platform writes back the values it filled in
        Device* device = Device::create(params, hFocusWindow, capsFor(Adapter), live_);
        if (device == nullptr) {
            return D3DERR_NOTAVAILABLE;
        }
        *ppReturnedDeviceInterface = device;
        return D3D_OK;
    }

  private:
    std::vector<D3DDISPLAYMODE> modes(UINT adapter) const {
        return live_ ? displayModes(static_cast<int>(adapter)) : virtualModes();
    }

    bool live_;
};

} // namespace

void addVirtualMode(UINT width, UINT height) {
    extraVirtualSizes.push_back({width, height});
}

void limitShaderVersions(DWORD vertexShaderVersion, DWORD pixelShaderVersion) {
    vertexVersionLimit = vertexShaderVersion;
    pixelVersionLimit = pixelShaderVersion;
}

DeviceCounters countersOf(IDirect3DDevice9* device) {
    return device != nullptr ? static_cast<Device*>(device)->counters() : DeviceCounters{};
}

HRESULT readBack(IDirect3DSurface9* surface, UINT& width, UINT& height, std::vector<D3DCOLOR>& argb) {
    auto* s = static_cast<Surface*>(surface);
    if (s == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Device* device = s->device();
    if (device == nullptr) {
        logFailure("read-back of a surface whose device is gone");
        return D3DERR_INVALIDCALL;
    }
    return device->readBack(s, width, height, argb);
}

} // namespace platform::d3d9

IDirect3D9* Direct3DCreate9(UINT SDKVersion) {
    if (SDKVersion != D3D_SDK_VERSION) {
        platform::d3d9::logFailure("Direct3DCreate9(%u): this layer implements SDK version 32", SDKVersion);
        return nullptr;
    }
    return new platform::d3d9::Direct3D(platform::runMode() == platform::RunMode::live);
}
