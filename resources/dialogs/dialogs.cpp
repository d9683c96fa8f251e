// The dialog templates as the resource compiler would lay them out: sizes
// and positions in dialog units, every control a visible child.
#include "resources/dialogs/dialogs.h"

#include "platform/win32/dialog.h"
#include "platform/win32/resource.h"

#include <iterator>

extern const IconImage kProgramIcon; // made by tools/icongen when the program is built

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kText = kChild | SS_LEFT;
constexpr DWORD kIcon = kChild | SS_ICON;
constexpr DWORD kReadOnlyEdit = kChild | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kList = kChild | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;

const DialogItemTemplate kErrorItems[] = {
    {kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 270, 126, 50, 14, IDOK, "BUTTON", "Sigh"},
    {kText, 0, 7, 58, 14, 10, IDC_STATIC, "STATIC", "File:"},
    {kReadOnlyEdit, 0, 26, 58, 294, 12, resources::kErrorFileEdit, "EDIT", ""},
    {kText, 0, 7, 70, 17, 10, IDC_STATIC, "STATIC", "Line:"},
    {kReadOnlyEdit, 0, 27, 70, 293, 13, resources::kErrorLineEdit, "EDIT", ""},
    {kText, 0, 7, 81, 44, 8, IDC_STATIC, "STATIC", "Message:"},
    {kReadOnlyEdit, 0, 7, 90, 313, 30, resources::kErrorMessageEdit, "EDIT", ""},
    {kIcon, 0, 70, 6, 20, 20, IDC_STATIC, "STATIC", MAKEINTRESOURCEA(IDI_HAND)},
    {kText, 0, 93, 12, 65, 9, IDC_STATIC, "STATIC", "youre  a lamer :-)"},
    {kText, 0, 7, 24, 313, 25, IDC_STATIC, "STATIC",
     "This computer is too poor to run the demo, and it just proved it.\n"
     "Put it out of its misery and get one that can count."},
    {kText, 0, 89, 47, 164, 9, IDC_STATIC, "STATIC", "signed, the RIZA3V hardware inspectors"},
};

const DialogTemplate kErrorDialog = {
    DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
    0,
    0,
    0,
    327,
    149,
    "delete []your->hardware;",
    10,
    "Tahoma",
    kErrorItems,
    static_cast<int>(std::size(kErrorItems)),
};

const DialogItemTemplate kSetupItems[] = {
    {kChild | WS_TABSTOP | WS_DISABLED | BS_DEFPUSHBUTTON | BS_FLAT, 0, 183, 113, 63, 22, IDOK, "BUTTON", "ff00ff"},
    {kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_FLAT, 0, 230, 40, 50, 12, IDCANCEL, "BUTTON", "chicken out"},
    {kText, 0, 163, 15, 98, 10, IDC_STATIC, "STATIC", "pick your prefered device"},
    {kList, 0, 7, 17, 155, 32, resources::kAdapterList, "LISTBOX", nullptr},
    {kText, 0, 102, 62, 104, 12, IDC_STATIC, "STATIC", "pick your prefered resolution"},
    {kList, 0, 7, 63, 93, 88, resources::kResolutionList, "LISTBOX", nullptr},
    {kText, 0, 172, 79, 116, 10, IDC_STATIC, "STATIC", "pick your prefered refreshrate"},
    {kList | LBS_SORT, 0, 141, 79, 27, 48, resources::kRefreshRateList, "LISTBOX", nullptr},
    {kIcon, 0, 107, 119, 21, 20, IDC_STATIC, "STATIC", MAKEINTRESOURCEA(IDI_EXCLAMATION)},
    {kText, 0, 111, 142, 177, 9, IDC_STATIC, "STATIC", "no refunds if your monitor melts"},
    {kChild | WS_TABSTOP | BS_AUTOCHECKBOX | BS_FLAT, 0, 215, 94, 55, 11, resources::kFullscreenCheckBox, "BUTTON",
     "Fullscreen"},
};

const DialogTemplate kSetupDialog = {
    DS_SETFONT | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU,
    WS_EX_CLIENTEDGE,
    0,
    0,
    295,
    158,
    "QTV D3D9 Setupx",
    8,
    "Tahoma",
    kSetupItems,
    static_cast<int>(std::size(kSetupItems)),
};

} // namespace

namespace resources {

void installDialogResources() {
    platform::win32::addDialogResource(kErrorDialogResource, &kErrorDialog);
    platform::win32::addDialogResource(kSetupDialogResource, &kSetupDialog);
    platform::win32::addIconResource(kProgramIconResource, &kProgramIcon);
}

} // namespace resources
