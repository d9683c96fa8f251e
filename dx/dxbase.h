// Display setup: the settings record, the setup dialog with the display-mode
// table it fills, the main window and the creation of the device.
//
// All state here is process-wide and belongs to the main thread. Raises carry
// the source "dxbase".
#pragma once

#include "platform/d3d9/d3d9.h"

#include <array>
#include <cstdint>

class device;

// Eight 32-bit slots; the one-byte flags sit in the low byte of their slot.
struct DemoSettings {
    // Nonzero: run the setup dialog; zero: use the fields below on adapter 0.
    alignas(4) std::uint8_t showSetupDialog;
    const char* caption;
    alignas(4) std::uint8_t hardwareVertexProcessing;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t refreshRate;
    D3DFORMAT backBufferFormat;
    alignas(4) std::uint8_t windowed;
};

namespace dx {

inline constexpr int kModeTableAdapters = 5;
inline constexpr int kModeTableModes = 100;

// Dialog template and controls of the setup dialog.
inline constexpr int kSetupDialogId = 103;
inline constexpr int kAdapterListId = 1009;
inline constexpr int kResolutionListId = 1010;
inline constexpr int kRefreshListId = 1011;
inline constexpr int kFullscreenBoxId = 1013;

} // namespace dx

// The caller's settings as the dialog and the device creation last left them.
extern DemoSettings activeSettings;
// Entry [a][m] is mode m of adapter a; entries never written are zero.
extern D3DDISPLAYMODE modeTable[dx::kModeTableAdapters][dx::kModeTableModes];
extern IDirect3D9* direct3D;
// The device of the last successful createDevice.
extern device* theDevice;
// The cell holding the main window's handle (null until createMainWindow).
extern HWND* mainWindow;

namespace dx {

// The one-byte object through which the window is made and the display set up.
class dxwindow {
  public:
    // Registers the class "%", makes the hidden 640 × 480 window "RIZA3V" and
    // the IDirect3D9 object (raises "auto throw(logic)" without it); returns this.
    dxwindow* createMainWindow();
    // Copies settings into activeSettings; with showSetupDialog runs the setup
    // dialog (forcing X8R8G8B8), otherwise uses the record's mode on adapter 0.
    // Returns the device, never null.
    device* setupDisplay(const DemoSettings& settings);
};

} // namespace dx

// Escape, closing and destroying the window raise qtv_d3d::quitException(1).
LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure of dialog 103. Cancel raises qtv_d3d::quitException(1); OK
// with a mode that matches no table entry leaves the dialog open.
INT_PTR setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Parses the selected resolution ("%dx%d") and refresh-rate ("%d") rows and
// finds the first matching entry of the adapter's row; modeIndex 100 when none
// does (the three numbers are 0 when their row is not selected).
void readChosenMode(int adapter, int& width, int& height, int& refreshRate, int& modeIndex, HWND dialog);
// A device for modeTable entry (adapter, modeIndex); raises on every failure.
device* createDevice(int adapter, int modeIndex);

namespace dx {

struct FormatName {
    D3DFORMAT format;
    const char* name;
};

} // namespace dx

// The platform's D3DFORMAT enumerators in declaration order, without D3DFMT_FORCE_DWORD.
extern const std::array<dx::FormatName, 60> formatNames;
// Logs title (when not null) and then the format's name (when it is in formatNames).
void logFormatName(D3DFORMAT format, const char* title);
