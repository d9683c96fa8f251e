// The framework's device on the headless layer; a file of its own so that
// programs that use only the layer part link no framework code.
#include "dx/dxdevice.h"
#include "tools/headless/headless.h"

namespace headless {

device* makeFrameworkDevice(UINT width, UINT height) {
    IDirect3D9* d3d = openVirtualLayer();
    if (d3d == nullptr) {
        return nullptr;
    }
    auto* d = new device();
    d->presentParameters = presentParameters(width, height);
    if (d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &d->caps) != D3D_OK ||
        createDevice(d3d, d->presentParameters, &d->d3dDevice) != D3D_OK) {
        delete d;
        return nullptr;
    }
    d->d3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d->targetSurface[0]);
    d->d3dDevice->GetDepthStencilSurface(&d->depthSurface[0]);
    d->targetSize[0] = dx::TargetSize{static_cast<float>(width), static_cast<float>(height)};
    d->targetCount = 1;
    return d;
}

} // namespace headless
