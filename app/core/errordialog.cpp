#include "app/core/errordialog.h"

#include "debuglog/log.h"
#include "errors/errors.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "resources/dialogs/dialogs.h"

#include <cstdio>

namespace app::core {

INT_PTR errorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    EnableWindow(dialog, TRUE);
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    switch (message) {
    case WM_INITDIALOG: {
        char line[16];
        std::snprintf(line, sizeof line, "%d", errorRecord.line);
        SetDlgItemTextA(dialog, resources::kErrorFileEdit, errorRecord.file);
        SetDlgItemTextA(dialog, resources::kErrorLineEdit, line);
        SetDlgItemTextA(dialog, resources::kErrorMessageEdit, errorRecord.message);
        return TRUE;
    }
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_QUIT:
        EndDialog(dialog, 1);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace app::core

void showDialog() {
    resources::installDialogResources();
    const bool virtualRun = platform::kernel::runMode() == platform::kernel::RunMode::virtualRun;
    // Nobody sees a dialog in a virtual run or without a display: the record
    // goes where the log goes, so a failure is never silent.
    if (virtualRun || !platform::win32::displayAvailable()) {
        errors::writeRecordToStderr();
        if (!virtualRun) {
            return;
        }
    }
    const INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kErrorDialogResource), nullptr,
                                           app::core::errorDialogProc, 0);
    // The platform reports a failed dialog as 0 (bad owner) or -1 (anything
    // else); both are logged, and a live failure also writes the record.
    if (result == 0 || result == -1) {
        logLastError("From showDialog");
        if (!virtualRun) {
            errors::writeRecordToStderr();
        }
    }
}
