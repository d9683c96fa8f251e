#include "dx/dxbase.h"

#include "debuglog/log.h"
#include "dx/dxdevice.h"
#include "errors/errors.h"
#include "platform/kernel/kernel.h"
#include "platform/win32/dialog.h"
#include "platform/win32/user.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

DemoSettings activeSettings{};
D3DDISPLAYMODE modeTable[dx::kModeTableAdapters][dx::kModeTableModes]{};
IDirect3D9* direct3D = nullptr;
device* theDevice = nullptr;
HWND* mainWindow = nullptr;

namespace {

constexpr const char* kFile = "dxbase";
constexpr WORD kProgramIcon = 102;
constexpr const char* kWindowClass = "%";

// Tried in this order; the first the adapter accepts for the back buffer is used.
constexpr D3DFORMAT kDepthCandidates[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24FS8, D3DFMT_D32,
                                          D3DFMT_D24X8, D3DFMT_D16,     D3DFMT_D15S1};

LRESULT listMessage(HWND dialog, int list, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, list, message, wParam, lParam);
}

void addRow(HWND dialog, int list, const char* text) {
    listMessage(dialog, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// The selected row's text, or false when the list has no selection.
bool selectedRowText(HWND dialog, int list, char (&buffer)[1024]) {
    std::memset(buffer, 0, sizeof buffer);
    const LRESULT row = listMessage(dialog, list, LB_GETCURSEL);
    if (row < 0) {
        return false;
    }
    return listMessage(dialog, list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer)) != LB_ERR;
}

bool validAdapterRow(LRESULT row) {
    return row >= 0 && row < dx::kModeTableAdapters;
}

void listAdapters(HWND dialog) {
    // Only kModeTableAdapters rows of modes fit in the table, so no more adapters are offered.
    for (UINT i = 0; i < direct3D->GetAdapterCount() && i < static_cast<UINT>(dx::kModeTableAdapters); ++i) {
        D3DADAPTER_IDENTIFIER9 identifier{};
        errors::checkD3d(direct3D->GetAdapterIdentifier(i, 0, &identifier), kFile, 263);
        identifier.Description[sizeof identifier.Description - 1] = '\0';
        const auto version = static_cast<std::uint16_t>(identifier.DriverVersion.u.HighPart & 0xFFFF);
        char row[600];
        std::snprintf(row, sizeof row, "%d. %s [%d]", static_cast<int>(i) + 1, identifier.Description,
                      static_cast<int>(version));
        addRow(dialog, dx::kAdapterListId, row);
    }
}

void listResolutions(HWND dialog, int adapter) {
    listMessage(dialog, dx::kResolutionListId, LB_RESETCONTENT);
    listMessage(dialog, dx::kRefreshListId, LB_RESETCONTENT);
    UpdateWindow(dialog);
    const D3DFORMAT format = activeSettings.backBufferFormat;
    D3DDISPLAYMODE* row = modeTable[adapter];
    // The table row has kModeTableModes entries; further modes are not offered.
    for (UINT m = 0; m < direct3D->GetAdapterModeCount(static_cast<UINT>(adapter), format) &&
                     m < static_cast<UINT>(dx::kModeTableModes);
         ++m) {
        errors::checkD3d(direct3D->EnumAdapterModes(static_cast<UINT>(adapter), format, m, &row[m]), kFile, 291);
        if (m == 0 || row[m].Width != row[m - 1].Width || row[m].Height != row[m - 1].Height) {
            char text[64];
            std::snprintf(text, sizeof text, "%dx%d", static_cast<int>(row[m].Width), static_cast<int>(row[m].Height));
            addRow(dialog, dx::kResolutionListId, text);
        }
    }
}

void listRefreshRates(HWND dialog, int adapter) {
    listMessage(dialog, dx::kRefreshListId, LB_RESETCONTENT);
    char buffer[1024];
    int width = 0;
    int height = 0;
    if (!selectedRowText(dialog, dx::kResolutionListId, buffer) || std::sscanf(buffer, "%dx%d", &width, &height) != 2) {
        return;
    }
    for (const D3DDISPLAYMODE& mode : modeTable[adapter]) {
        if (static_cast<int>(mode.Width) == width && static_cast<int>(mode.Height) == height) {
            char text[32];
            std::snprintf(text, sizeof text, "%d Hz", static_cast<int>(mode.RefreshRate));
            addRow(dialog, dx::kRefreshListId, text);
        }
    }
}

void chooseMode(HWND dialog, int adapter) {
    int width = 0;
    int height = 0;
    int refreshRate = 0;
    int modeIndex = dx::kModeTableModes;
    readChosenMode(adapter, width, height, refreshRate, modeIndex, dialog);
    // Without a matching entry there is no mode to open: the dialog stays for another choice.
    if (modeIndex >= dx::kModeTableModes) {
        return;
    }
    EndDialog(dialog, -1);
    theDevice = createDevice(adapter, modeIndex);
    if (theDevice == nullptr) {
        errors::raiseError(errors::kAutoThrowLogic, kFile, 355);
    }
}

} // namespace

namespace dx {

dxwindow* dxwindow::createMainWindow() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = kWndClassExSize32;
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kProgramIcon));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExA(&windowClass);

    mainWindow = new HWND;
    *mainWindow = CreateWindowExA(0, kWindowClass, "RIZA3V", WS_OVERLAPPEDWINDOW, 50, 50, 640, 480, GetDesktopWindow(),
                                  nullptr, GetModuleHandleA(nullptr), nullptr);

    direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (direct3D == nullptr) {
        errors::raiseError(errors::kAutoThrowLogic, kFile, 63);
    }
    return this;
}

device* dxwindow::setupDisplay(const DemoSettings& settings) {
    activeSettings = settings;
    if (activeSettings.showSetupDialog != 0) {
        activeSettings.backBufferFormat = D3DFMT_X8R8G8B8;
        DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kSetupDialogId), nullptr, setupDialogProc, 0);
        // A dialog that closed without OK leaves no device; that is no display to run on.
        if (theDevice == nullptr) {
            errors::raiseError(errors::kAutoThrowLogic, kFile, 355);
        }
        return theDevice;
    }
    modeTable[0][0] = D3DDISPLAYMODE{settings.width, settings.height, settings.refreshRate, settings.backBufferFormat};
    theDevice = createDevice(0, 0);
    if (theDevice == nullptr) {
        errors::raiseError(errors::kAutoThrowLogic, kFile, 49);
    }
    return theDevice;
}

} // namespace dx

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY || message == WM_CLOSE || (message == WM_KEYDOWN && wParam == VK_ESCAPE)) {
        throw qtv_d3d::quitException(1);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    const LRESULT adapterRow = listMessage(dialog, dx::kAdapterListId, LB_GETCURSEL);
    listMessage(dialog, dx::kResolutionListId, LB_GETCURSEL);
    listMessage(dialog, dx::kRefreshListId, LB_GETCURSEL);
    const int adapter = static_cast<int>(adapterRow);

    switch (message) {
    case WM_DESTROY:
        EndDialog(dialog, -1);
        return 0;
    case WM_INITDIALOG:
        if (direct3D == nullptr) {
            errors::raiseError(errors::kAutoThrowLogic, kFile, 256);
        }
        listMessage(dialog, dx::kResolutionListId, LB_RESETCONTENT);
        listMessage(dialog, dx::kRefreshListId, LB_RESETCONTENT);
        listAdapters(dialog);
        activeSettings.windowed = 1;
        return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const WORD notification = HIWORD(wParam);
        if (notification == LBN_SELCHANGE && validAdapterRow(adapterRow)) {
            if (id == dx::kAdapterListId) {
                listResolutions(dialog, adapter);
            } else if (id == dx::kResolutionListId) {
                listRefreshRates(dialog, adapter);
            } else if (id == dx::kRefreshListId) {
                EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
            }
        }
        if (notification != BN_CLICKED && notification != LBN_SELCHANGE) {
            return 0;
        }
        if (id == IDOK) {
            if (validAdapterRow(adapterRow)) {
                chooseMode(dialog, adapter);
            }
        } else if (id == IDCANCEL) {
            EndDialog(dialog, -1);
            throw qtv_d3d::quitException(1);
        } else if (id == dx::kFullscreenBoxId) {
            activeSettings.windowed ^= 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

void readChosenMode(int adapter, int& width, int& height, int& refreshRate, int& modeIndex, HWND dialog) {
    width = 0;
    height = 0;
    refreshRate = 0;
    modeIndex = dx::kModeTableModes;
    char buffer[1024];
    const bool haveSize =
        selectedRowText(dialog, dx::kResolutionListId, buffer) && std::sscanf(buffer, "%dx%d", &width, &height) == 2;
    const bool haveRate =
        selectedRowText(dialog, dx::kRefreshListId, buffer) && std::sscanf(buffer, "%d", &refreshRate) == 1;
    // Entries never written are zero; without both rows nothing may match them.
    if (!haveSize || !haveRate || adapter < 0 || adapter >= dx::kModeTableAdapters) {
        return;
    }
    for (int m = 0; m < dx::kModeTableModes; ++m) {
        const D3DDISPLAYMODE& mode = modeTable[adapter][m];
        if (static_cast<int>(mode.Width) == width && static_cast<int>(mode.Height) == height &&
            static_cast<int>(mode.RefreshRate) == refreshRate) {
            modeIndex = m;
            return;
        }
    }
}

device* createDevice(int adapter, int modeIndex) {
    auto* d = new device();
    const D3DFORMAT format = modeTable[adapter][modeIndex].Format;
    logFormatName(format, "Backbuffer format:");
    errors::checkD3d(direct3D->CheckDeviceFormat(static_cast<UINT>(adapter), D3DDEVTYPE_HAL, format,
                                                 D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format),
                     kFile, 114);
    errors::checkD3d(direct3D->GetDeviceCaps(static_cast<UINT>(adapter), D3DDEVTYPE_HAL, &d->caps), kFile, 118);

    if (activeSettings.hardwareVertexProcessing != 0) {
        activeSettings.hardwareVertexProcessing = (d->caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0 ? 1 : 0;
    }
    const DWORD behaviour = activeSettings.hardwareVertexProcessing != 0 ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                                         : D3DCREATE_SOFTWARE_VERTEXPROCESSING;

    // The caps name the adapter the device is made on; a value outside the table keeps the one asked for.
    if (d->caps.AdapterOrdinal < static_cast<UINT>(dx::kModeTableAdapters)) {
        adapter = static_cast<int>(d->caps.AdapterOrdinal);
    }
    const D3DDISPLAYMODE mode = modeTable[adapter][modeIndex];
    const bool windowed = activeSettings.windowed != 0;

    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = mode.Width;
    parameters.BackBufferHeight = mode.Height;
    parameters.BackBufferFormat = mode.Format;
    parameters.BackBufferCount = 2;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = *mainWindow;
    parameters.Windowed = windowed ? TRUE : FALSE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.Flags = 0;
    parameters.FullScreen_RefreshRateInHz = windowed ? 0 : mode.RefreshRate;
    parameters.PresentationInterval = windowed ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;

    const D3DFORMAT* chosen = std::find_if(std::begin(kDepthCandidates), std::end(kDepthCandidates), [&](D3DFORMAT c) {
        return direct3D->CheckDeviceFormat(static_cast<UINT>(adapter), D3DDEVTYPE_HAL, mode.Format,
                                           D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, c) == D3D_OK;
    });
    if (chosen == std::end(kDepthCandidates)) {
        errors::raiseError("Lack of supporting depthstencil for this backbuffer format..", kFile, 172);
    }
    parameters.AutoDepthStencilFormat = *chosen;
    logFormatName(*chosen, "Usable depthstencilformat:");

    if (!windowed) {
        SetCursorPos(1, 1);
        ShowCursor(FALSE);
        SetCursorPos(0, 0);
    }
    SetWindowPos(*mainWindow, nullptr, 0, 0, static_cast<int>(mode.Width), static_cast<int>(mode.Height), 0);
    ShowWindow(*mainWindow, SW_SHOWNORMAL);
    SetWindowPos(*mainWindow, nullptr, 0, 0, static_cast<int>(mode.Width), static_cast<int>(mode.Height), 0);
    d->window = *mainWindow;

    errors::checkD3d(direct3D->CreateDevice(static_cast<UINT>(adapter), D3DDEVTYPE_HAL, *mainWindow, behaviour,
                                            &parameters, &d->d3dDevice),
                     kFile, 208);
    d->d3dDevice->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    errors::checkD3d(d->d3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d->targetSurface[0]), kFile, 210);
    errors::checkD3d(d->d3dDevice->GetDepthStencilSurface(&d->depthSurface[0]), kFile, 212);
    d->presentParameters = parameters;
    d->targetCount = 1;
    d->d3dDevice->SetRenderState(D3DRS_ANTIALIASEDLINEENABLE, TRUE);
    d->d3dDevice->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
    d->targetSize[0] = dx::TargetSize{static_cast<float>(mode.Width), static_cast<float>(mode.Height)};

    try {
        d->createRenderTarget(1024, 1024, 1, D3DFMT_G16R16, -1);
    } catch (...) {
        logPrintf("warning, shadowmaps aren't supported");
    }
    return d;
}
