#include "tests/platform/win32/showsetup.h"

#include "dx/dxbase.h"
#include "resources/dialogs/dialogs.h"

#include <cstring>

namespace platform::win32::test::showsetup {

namespace {

INT_PTR recordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        ++okPresses();
    }
    return setupDialogProc(dialog, message, wParam, lParam);
}

} // namespace

dx::test::Direct3D& direct3D() {
    // Made once and kept to the end: the show's globals point at it.
    static auto* d3d = [] {
        auto* made = new ::testing::NiceMock<dx::test::Direct3D>();
        ::testing::Mock::AllowLeak(made);
        ::testing::Mock::AllowLeak(&made->device);
        return made;
    }();
    return *d3d;
}

int& okPresses() {
    static int count = 0;
    return count;
}

void prepare() {
    static dx::dxwindow window;
    static const bool made = window.createMainWindow() != nullptr;
    static_cast<void>(made);
    dx::test::Direct3D& d3d = direct3D();
    d3d.descriptions = {"llvmpipe (LLVM 15.0.6, 256 bits)", "Second Adapter 9000"};
    d3d.modes = {
        {640, 480, 60, D3DFMT_X8R8G8B8},   {640, 480, 75, D3DFMT_X8R8G8B8},   {800, 600, 60, D3DFMT_X8R8G8B8},
        {800, 600, 100, D3DFMT_X8R8G8B8},  {800, 600, 75, D3DFMT_X8R8G8B8},   {1024, 768, 60, D3DFMT_X8R8G8B8},
        {1280, 960, 60, D3DFMT_X8R8G8B8},  {1280, 1024, 60, D3DFMT_X8R8G8B8}, {1600, 1200, 60, D3DFMT_X8R8G8B8},
        {1920, 1080, 60, D3DFMT_X8R8G8B8}, {1920, 1200, 60, D3DFMT_X8R8G8B8}, {2560, 1440, 60, D3DFMT_X8R8G8B8}};
    d3d.lastParameters = D3DPRESENT_PARAMETERS{};
    ::direct3D = &d3d;
    std::memset(modeTable, 0, sizeof modeTable);
    theDevice = nullptr;
    // As setupDisplay sets them before it runs the dialog.
    activeSettings = DemoSettings{};
    activeSettings.showSetupDialog = 1;
    activeSettings.hardwareVertexProcessing = 1;
    activeSettings.backBufferFormat = D3DFMT_X8R8G8B8;
    okPresses() = 0;
}

INT_PTR run() {
    return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kSetupDialogResource), nullptr, recordingProc, 0);
}

std::vector<std::string> rows(HWND dialog, int list) {
    std::vector<std::string> out;
    const LRESULT count = SendDlgItemMessageA(dialog, list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        SendDlgItemMessageA(dialog, list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.emplace_back(text);
    }
    return out;
}

} // namespace platform::win32::test::showsetup
