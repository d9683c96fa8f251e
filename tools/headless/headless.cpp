#include "tools/headless/headless.h"

#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/runmode.h"

namespace headless {

D3DPRESENT_PARAMETERS presentParameters(UINT width, UINT height, BOOL autoDepth, D3DFORMAT depthFormat) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = autoDepth;
    params.AutoDepthStencilFormat = depthFormat;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return params;
}

IDirect3D9* openVirtualLayer() {
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    return Direct3DCreate9(D3D_SDK_VERSION);
}

HRESULT createDevice(IDirect3D9* d3d, D3DPRESENT_PARAMETERS& params, IDirect3DDevice9** out) {
    return d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, out);
}

HRESULT readPicture(IDirect3DSurface9* surface, Picture& picture) {
    return platform::d3d9::readBack(surface, picture.width, picture.height, picture.pixels);
}

} // namespace headless
