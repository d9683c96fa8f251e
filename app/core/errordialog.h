// The error dialog (resource 101): showDialog runs it with errorRecord
// (errors/errors.h).
#pragma once

#include "platform/kernel/windef.h"

namespace app::core {

// Shows errorRecord in the dialog's three edits and ends the dialog with 1 on
// OK, Cancel, Enter, Escape, a close request, destruction or a quit message.
// On every message it first enables the dialog and its OK button, so the
// dialog can be dismissed even when opened over a disabled window.
INT_PTR errorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace app::core

// Shows the error dialog with errorRecord and returns once it is dismissed.
// Where no dialog can be shown the record goes to standard error as
// "File:", "Line:" and "Message:" lines.
void showDialog();
