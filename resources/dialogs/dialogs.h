// The program's dialog templates and icon, as the platform's resource calls
// find them: the error dialog, the setup dialog and the program icon.
#pragma once

namespace resources {

// Resource numbers.
inline constexpr int kErrorDialogResource = 101;
inline constexpr int kProgramIconResource = 102;
inline constexpr int kSetupDialogResource = 103;

// Controls of the error dialog.
inline constexpr int kErrorMessageEdit = 1001;
inline constexpr int kErrorFileEdit = 1002;
inline constexpr int kErrorLineEdit = 1003;

// Controls of the setup dialog.
inline constexpr int kAdapterList = 1009;
inline constexpr int kResolutionList = 1010;
inline constexpr int kRefreshRateList = 1011;
inline constexpr int kFullscreenCheckBox = 1013;

// Registers the two dialogs and the icon with the platform layer; call before
// DialogBoxParamA or LoadIconA asks for them. Calling it again changes nothing.
void installDialogResources();

} // namespace resources
