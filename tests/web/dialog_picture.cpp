// Paints the setup dialog (the show's template, in virtual mode) as the
// user-interface layer draws it and prints the picture (printrows.h):
// built for the desktop and for the browser, the two outputs must be the same
// text (the same frame, controls and glyphs on the page's canvas).
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "platform/win32/user.h"
#include "resources/dialogs/dialogs.h"
#include "tests/web/printrows.h"

#include <cstdio>

namespace {

INT_PTR CALLBACK printOnInit(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    platform::win32::Picture picture;
    if (!platform::win32::paintDialog(dialog, picture)) {
        std::printf("no picture\n");
    }
    std::printf("%d x %d\n", picture.width, picture.height);
    printRows(picture.pixels.data(), picture.width, picture.height);
    EndDialog(dialog, IDOK);
    return TRUE;
}

} // namespace

int main() {
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    resources::installDialogResources();
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resources::kSetupDialogResource),
                                           nullptr, printOnInit, 0);
    return result == IDOK ? 0 : 1;
}
