#include "tests/platform/win32/setup_standin.h"

#include <cstdio>

namespace standin {

State& state() {
    static State s;
    return s;
}

namespace {

std::string rowText(HWND dialog, int id) {
    const LRESULT row = SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0);
    char buffer[1024] = {};
    if (row < 0 || SendDlgItemMessageA(dialog, id, LB_GETTEXT, static_cast<WPARAM>(row),
                                       reinterpret_cast<LPARAM>(buffer)) == LB_ERR) {
        return {};
    }
    return buffer;
}

void add(HWND dialog, int id, const std::string& text) {
    SendDlgItemMessageA(dialog, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

} // namespace

INT_PTR setupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dialog, 1010, LB_RESETCONTENT, 0, 0);
        SendDlgItemMessageA(dialog, 1011, LB_RESETCONTENT, 0, 0);
        for (const std::string& a : s.adapters) {
            add(dialog, 1009, a);
        }
        return 0;
    case WM_DESTROY:
        EndDialog(dialog, -1);
        return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        s.notifications.push_back({id, code, reinterpret_cast<HWND>(lParam)});
        if (code == LBN_SELCHANGE && id == 1009) {
            SendDlgItemMessageA(dialog, 1010, LB_RESETCONTENT, 0, 0);
            SendDlgItemMessageA(dialog, 1011, LB_RESETCONTENT, 0, 0);
            UpdateWindow(dialog);
            for (std::size_t m = 0; m < s.modes.size(); ++m) {
                if (m == 0 || s.modes[m].width != s.modes[m - 1].width || s.modes[m].height != s.modes[m - 1].height) {
                    add(dialog, 1010, std::to_string(s.modes[m].width) + "x" + std::to_string(s.modes[m].height));
                }
            }
        } else if (code == LBN_SELCHANGE && id == 1010) {
            SendDlgItemMessageA(dialog, 1011, LB_RESETCONTENT, 0, 0);
            const std::string resolution = rowText(dialog, 1010);
            for (const Mode& m : s.modes) {
                if (std::to_string(m.width) + "x" + std::to_string(m.height) == resolution) {
                    add(dialog, 1011, std::to_string(m.refresh) + " Hz");
                }
            }
        } else if (code == LBN_SELCHANGE && id == 1011) {
            EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
        }
        if (id == IDOK) {
            ++s.okPresses;
            s.chosenResolution = rowText(dialog, 1010);
            s.chosenRefresh = rowText(dialog, 1011);
            EndDialog(dialog, -1);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, -1);
            throw CancelPressed{};
        } else if (id == 1013) {
            s.fullscreenToggles = !s.fullscreenToggles;
        }
        return 0;
    }
    default:
        return 0;
    }
}

} // namespace standin
