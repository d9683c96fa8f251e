// Paints the setup dialog (the show's template, in virtual mode) as the
// user-interface layer draws it and prints where its three lists and OK
// button are on it, then the picture (printrows.h): built for the desktop and
// for the browser, the two outputs must be the same text (the same frame,
// controls and glyphs on the page's canvas). The live page test clicks the
// controls where this says they are.
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
    RECT window{};
    GetWindowRect(dialog, &window);
    for (int id : {resources::kAdapterList, resources::kResolutionList, resources::kRefreshRateList, IDOK}) {
        RECT r{};
        GetWindowRect(GetDlgItem(dialog, id), &r);
        std::printf("control %d at %ld %ld %ld %ld\n", id, static_cast<long>(r.left - window.left),
                    static_cast<long>(r.top - window.top), static_cast<long>(r.right - window.left),
                    static_cast<long>(r.bottom - window.top));
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
