// The dialog manager in virtual mode, driven by the scripted user through the
// real templates and the show's setup dialog procedure.
#include "dx/dxbase.h"
#include "errors/errors.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/resource.h"
#include "platform/win32/script.h"
#include "resources/dialogs/dialogs.h"
#include "tests/platform/win32/showsetup.h"
#include "tests/support/png.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace {

class Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        resources::installDialogResources();
        platform::win32::script::clear();
        platform::win32::test::showsetup::prepare();
    }
    void TearDown() override { platform::win32::script::clear(); }

    static INT_PTR runSetup() { return platform::win32::test::showsetup::run(); }
};

using platform::win32::test::showsetup::rows;

INT_PTR ignoreEverything(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

TEST_F(Dialogs, ScriptFailuresAndGivingUp) {
    platform::win32::script::click(4242);
    platform::win32::script::chooseRow(resources::kAdapterList, 99);
    platform::win32::script::chooseRowText(resources::kAdapterList, "no such adapter");
    // The procedure ignores Cancel, so the final Escape leaves it open.
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kSetupDialogResource), nullptr, ignoreEverything, 0),
              -1);
    EXPECT_EQ(platform::win32::script::failures(), 3);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(555), nullptr, ignoreEverything, 0), -1);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kSetupDialogResource), nullptr, nullptr, 0), -1);
}

struct Expected {
    int id;
    int x, y, cx, cy;
};

// Positions and sizes in dialog units, as the two dialogs are laid out.
const Expected kSetupLayout[] = {{1, 183, 113, 63, 22}, {2, 230, 40, 50, 12},    {1009, 7, 17, 155, 32},
                                 {1010, 7, 63, 93, 88}, {1011, 141, 79, 27, 48}, {1013, 215, 94, 55, 11}};
const Expected kErrorLayout[] = {
    {1, 270, 126, 50, 14}, {1002, 26, 58, 294, 12}, {1003, 27, 70, 293, 13}, {1001, 7, 90, 313, 30}};

// Base units as the platform defines them for a dialog font: the average
// advance of the 52 letters (rounded half up) and the cell height.
std::pair<int, int> baseUnits(int points) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(-(points * 96 + 36) / 72, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             DEFAULT_QUALITY, VARIABLE_PITCH, "Tahoma");
    SelectObject(dc, font);
    int total = 0;
    for (char c = 'A'; c <= 'Z'; ++c) {
        SIZE upper{};
        SIZE lower{};
        const char l = static_cast<char>(c - 'A' + 'a');
        GetTextExtentPoint32A(dc, &c, 1, &upper);
        GetTextExtentPoint32A(dc, &l, 1, &lower);
        total += upper.cx + lower.cx;
    }
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    DeleteDC(dc);
    DeleteObject(font);
    return {(total / 26 + 1) / 2, tm.tmHeight};
}

int scaled(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

void checkLayout(HWND dialog, const char* caption, int points, int width, int height, const Expected* items,
                 std::size_t count) {
    char text[64] = {};
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, caption);
    const auto [bx, by] = baseUnits(points);
    RECT unit{0, 0, 4, 8};
    MapDialogRect(dialog, &unit);
    EXPECT_EQ(std::pair(unit.right, unit.bottom), std::pair(bx, by));
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(scaled(width, bx, 4), scaled(height, by, 8)));
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    for (std::size_t i = 0; i < count; ++i) {
        const Expected& e = items[i];
        RECT r{};
        ASSERT_TRUE(GetWindowRect(GetDlgItem(dialog, e.id), &r)) << e.id;
        EXPECT_EQ((std::array{r.left - origin.x, r.top - origin.y, r.right - r.left, r.bottom - r.top}),
                  (std::array{scaled(e.x, bx, 4), scaled(e.y, by, 8), scaled(e.cx, bx, 4), scaled(e.cy, by, 8)}))
            << e.id;
    }
    // Centred on the (virtual) screen.
    RECT frame{};
    GetWindowRect(dialog, &frame);
    EXPECT_LE(std::abs((frame.left + frame.right) - GetSystemMetrics(SM_CXSCREEN)), 1);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - GetSystemMetrics(SM_CYSCREEN)), 1);
}

TEST_F(Dialogs, SetupLayoutFollowsTheTemplateInDialogUnits) {
    platform::win32::script::call([](HWND dialog) {
        checkLayout(dialog, "QTV D3D9 Setupx", 8, 295, 158, kSetupLayout, std::size(kSetupLayout));
        char label[64] = {};
        GetDlgItemTextA(dialog, IDOK, label, sizeof label);
        EXPECT_STREQ(label, "ff00ff");
    });
    platform::win32::script::pressKey(VK_ESCAPE);
    EXPECT_THROW(runSetup(), qtv_d3d::quitException);
    EXPECT_EQ(platform::win32::script::failures(), 0);
}

INT_PTR endOnCancel(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 7);
        return TRUE;
    }
    return FALSE;
}

TEST_F(Dialogs, ErrorLayoutFollowsTheTemplateInDialogUnits) {
    platform::win32::script::call([](HWND dialog) {
        checkLayout(dialog, "delete []your->hardware;", 10, 327, 149, kErrorLayout, std::size(kErrorLayout));
    });
    // Closing by the frame: the procedure leaves WM_CLOSE to the default,
    // which sends Cancel.
    platform::win32::script::closeFrame();
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resources::kErrorDialogResource), nullptr, endOnCancel, 0), 7);
}

TEST_F(Dialogs, PaintingShowsTheClassicFaceAndTheChosenRow) {
    platform::win32::Picture before;
    platform::win32::Picture after;
    RECT list{};
    RECT frame{};
    HWND dialogSeen = nullptr;
    namespace script = platform::win32::script;
    script::call([&](HWND dialog) { platform::win32::paintDialog(dialog, before); });
    script::chooseRow(resources::kAdapterList, 1);
    script::call([&](HWND dialog) {
        platform::win32::paintDialog(dialog, after);
        GetWindowRect(GetDlgItem(dialog, resources::kAdapterList), &list);
        GetWindowRect(dialog, &frame);
        dialogSeen = dialog;
    });
    script::pressKey(VK_ESCAPE);
    EXPECT_THROW(runSetup(), qtv_d3d::quitException);
    ASSERT_GT(after.width, 0);
    tests::support::keepPicture("setup_dialog", static_cast<std::uint32_t>(after.width),
                                static_cast<std::uint32_t>(after.height), after.pixels.data());
    // The exception from the procedure removed the dialog.
    EXPECT_FALSE(platform::win32::paintDialog(dialogSeen, after));
    // The second row of the adapter list (between 10 and 16 pixels high),
    // right of its short text, turns to the selection colour.
    auto at = [&](const platform::win32::Picture& p, int x, int y) {
        return p.pixels[static_cast<std::size_t>(y) * p.width + x] & 0xFFFFFF;
    };
    const int x = list.right - frame.left - 10;
    const int y = list.top - frame.top + 20;
    EXPECT_EQ(at(before, x, y), 0xFFFFFFu);
    EXPECT_EQ(at(after, x, y), 0x0A246Au);
    EXPECT_EQ(at(after, after.width / 2, after.height - 5), 0xD4D0C8u); // dialog face
}

// ---- controls and notifications on a template of the test's own ----------

constexpr WORD kProbeDialog = 150;
constexpr int kSorted = 10;   // sorted list with LBS_NOTIFY, four rows high
constexpr int kPlain = 11;    // unsorted list without LBS_NOTIFY
constexpr int kCheck = 12;    // automatic check box
constexpr int kDefault = 13;  // the default push button
constexpr int kDisabled = 14; // a disabled push button
constexpr int kHidden = 15;   // an invisible push button
constexpr DWORD kShown = WS_VISIBLE | WS_TABSTOP;
const DialogItemTemplate kProbeItems[] = {
    {SS_LEFT | WS_VISIBLE, 0, 4, 4, 40, 8, IDC_STATIC, "STATIC", "Rows:"},
    {LBS_NOTIFY | LBS_SORT | kShown, 0, 4, 14, 60, 32, kSorted, "LISTBOX", nullptr},
    {kShown, 0, 70, 14, 60, 32, kPlain, "LISTBOX", nullptr},
    {BS_AUTOCHECKBOX | kShown, 0, 4, 50, 60, 10, kCheck, "BUTTON", "Check"},
    {BS_PUSHBUTTON | kShown | WS_DISABLED, 0, 4, 64, 40, 14, kDisabled, "BUTTON", "Off"},
    {BS_PUSHBUTTON | WS_TABSTOP, 0, 48, 64, 40, 14, kHidden, "BUTTON", "Hid"},
    {BS_DEFPUSHBUTTON | kShown, 0, 92, 64, 40, 14, kDefault, "BUTTON", "Go!"},
    {BS_PUSHBUTTON | kShown, 0, 136, 64, 40, 14, IDCANCEL, "BUTTON", "Cancel"},
};
const DialogTemplate kProbe = {
    WS_POPUP | WS_CAPTION | DS_SETFONT | DS_CENTER, 0, 0, 0, 180, 84, "Probe", 8, "Tahoma", kProbeItems,
    static_cast<int>(std::size(kProbeItems))};

struct Command {
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Command&) const = default;
};
std::vector<Command> commands;

// Records every WM_COMMAND as it arrives; Cancel ends the dialog.
INT_PTR probeProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND) {
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
    commands.push_back({wParam, lParam});
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 5);
    }
    return TRUE;
}

class Controls : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        platform::win32::addDialogResource(kProbeDialog, &kProbe);
        platform::win32::script::clear();
        commands.clear();
    }
    void TearDown() override { platform::win32::script::clear(); }

    // Runs the probe dialog with the queued actions, then Escape; the dialog's
    // controls by id are in `controls` while it runs.
    INT_PTR run() {
        platform::win32::script::pressKey(VK_ESCAPE);
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kProbeDialog), nullptr, probeProcedure, 0);
    }
    LRESULT send(HWND dialog, int id, UINT message, WPARAM wParam = 0, const char* text = nullptr) {
        return SendDlgItemMessageA(dialog, id, message, wParam, reinterpret_cast<LPARAM>(text));
    }
    void addRows(HWND dialog, int id, std::initializer_list<const char*> texts) {
        for (const char* t : texts) {
            send(dialog, id, LB_ADDSTRING, 0, t);
        }
    }
};

// WM_COMMAND carries the control id in the low word of wParam, the
// notification code in the high word and the control's handle in lParam.
Command command(HWND dialog, int id, WORD code) {
    return {static_cast<WPARAM>(MAKELONG(static_cast<WORD>(id), code)),
            reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))};
}

// Which actions notify, in the order they happen, and what the check box
// and a push button say about their checks on the way.
TEST_F(Controls, NotificationsFollowThePlatformsRules) {
    namespace script = platform::win32::script;
    std::vector<Command> want;
    std::vector<UINT> checks;
    const auto readCheck = [&](HWND dialog) { checks.push_back(IsDlgButtonChecked(dialog, kCheck)); };
    script::call([&](HWND dialog) {
        addRows(dialog, kSorted, {"b", "a", "c", "d", "e", "f"});
        addRows(dialog, kPlain, {"x", "y"});
        send(dialog, kSorted, LB_SETCURSEL, 2); // a program's selection notifies nobody
        readCheck(dialog);
        send(dialog, kCheck, BM_SETCHECK, BST_CHECKED);
        send(dialog, kDefault, BM_SETCHECK, BST_CHECKED); // a push button keeps no check
        checks.push_back(IsDlgButtonChecked(dialog, kDefault));
        want.assign(8, command(dialog, kSorted, LBN_SELCHANGE));
        for (int id : {kCheck, kCheck, kDefault, kDefault, kCheck, IDCANCEL}) {
            want.push_back(command(dialog, id, BN_CLICKED));
        }
    });
    script::chooseRow(kPlain, 1);  // no LBS_NOTIFY: silent
    script::chooseRow(kSorted, 2); // a click on the chosen row notifies
    // Keys move the selection and notify only on a change; a page is one row
    // less than the four rows shown.
    std::vector<LRESULT> selected;
    for (int vk : {VK_UP, VK_NEXT, VK_NEXT, VK_NEXT, VK_PRIOR, VK_END, VK_HOME, VK_UP, VK_DOWN}) {
        script::pressKey(vk);
        script::call([&](HWND dialog) { selected.push_back(send(dialog, kSorted, LB_GETCURSEL)); });
    }
    script::click(kDisabled); // ignored
    script::click(kHidden);   // ignored
    script::click(kCheck);    // BN_CLICKED, unchecks
    script::call(readCheck);
    script::pressKey(VK_SPACE); // the check box has the focus: clicks again
    script::call(readCheck);
    script::pressKey(VK_RETURN); // the check box is no push button: the default button
    script::call([&](HWND dialog) { EnableWindow(GetDlgItem(dialog, kDefault), FALSE); });
    script::pressKey(VK_RETURN); // a disabled default button: nothing
    script::call([&](HWND dialog) { EnableWindow(GetDlgItem(dialog, kDefault), TRUE); });
    script::click(kDefault);
    script::call([&](HWND dialog) { send(dialog, kCheck, BM_CLICK); });
    EXPECT_EQ(run(), 5);
    EXPECT_EQ(selected, (std::vector<LRESULT>{1, 4, 5, 5, 2, 5, 0, 0, 1}));
    EXPECT_EQ(commands, want);
    EXPECT_EQ(checks, (std::vector<UINT>{BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED}));
    EXPECT_EQ(platform::win32::script::failures(), 0);
}

TEST_F(Controls, ListBoxMessagesByTheirDocumentedResults) {
    std::vector<LRESULT> r;
    std::vector<std::string> sorted;
    std::vector<std::string> plain;
    char text[16] = {};
    platform::win32::script::call([&](HWND dialog) {
        r.push_back(send(dialog, kSorted, LB_GETCURSEL)); // nothing chosen yet
        // Sorted lists compare without regard to case ("Delta" after "beta");
        // the result is the new row's index.
        for (const char* t : {"beta", "Alpha", "gamma", "Delta", "epsilon", "zeta"}) {
            r.push_back(send(dialog, kSorted, LB_ADDSTRING, 0, t));
        }
        sorted = rows(dialog, kSorted);
        r.push_back(send(dialog, kSorted, LB_SETCURSEL, 3));      // "epsilon"
        r.push_back(send(dialog, kSorted, LB_ADDSTRING, 0, "e")); // at its row: the selection moves down
        r.push_back(send(dialog, kSorted, LB_GETCURSEL));
        r.push_back(send(dialog, kSorted, LB_ADDSTRING, 0, "zz")); // after it: stays
        r.push_back(send(dialog, kSorted, LB_GETCURSEL));
        r.push_back(send(dialog, kSorted, LB_SETCURSEL, 8)); // one past the end: refused, unchanged
        r.push_back(send(dialog, kSorted, LB_GETCURSEL));
        r.push_back(send(dialog, kSorted, LB_GETTOPINDEX));  // four rows shown from the top
        r.push_back(send(dialog, kSorted, LB_SETCURSEL, 7)); // the last row scrolls the list
        r.push_back(send(dialog, kSorted, LB_GETTOPINDEX));
        r.push_back(send(dialog, kSorted, LB_SETCURSEL, 1)); // above the top: it becomes the top
        r.push_back(send(dialog, kSorted, LB_GETTOPINDEX));
        r.push_back(send(dialog, kSorted, LB_GETTEXTLEN, 2));
        r.push_back(send(dialog, kSorted, LB_GETTEXTLEN, 8));
        r.push_back(send(dialog, kSorted, LB_GETTEXT, 8, text));
        r.push_back(send(dialog, kSorted, LB_GETTEXT, 6, text));
        r.push_back(send(dialog, kSorted, LB_SETCURSEL, static_cast<WPARAM>(-1))); // clears, and says LB_ERR
        r.push_back(send(dialog, kSorted, LB_GETCURSEL));
        for (const char* t : {"9", "10", "1"}) { // unsorted: the end, whatever the text
            r.push_back(send(dialog, kPlain, LB_ADDSTRING, 0, t));
        }
        plain = rows(dialog, kPlain);
        r.push_back(send(dialog, kPlain, LB_GETCOUNT));
        send(dialog, kPlain, LB_SETCURSEL, 1);
        send(dialog, kPlain, LB_RESETCONTENT);
        r.push_back(send(dialog, kPlain, LB_GETCURSEL)); // no rows, no selection
    });
    EXPECT_EQ(run(), 5);
    EXPECT_EQ(r, (std::vector<LRESULT>{LB_ERR, 0, 0, 2, 2, 3,      5,      3, 3,      4,  7, 4, LB_ERR, 4, 0,
                                       7,      4, 1, 1, 5, LB_ERR, LB_ERR, 4, LB_ERR, -1, 0, 1, 2,      3, LB_ERR}));
    EXPECT_EQ(sorted, (std::vector<std::string>{"Alpha", "beta", "Delta", "epsilon", "gamma", "zeta"}));
    EXPECT_STREQ(text, "zeta");
    EXPECT_EQ(plain, (std::vector<std::string>{"9", "10", "1"}));
}

TEST_F(Controls, TextDefaultButtonAndTabStops) {
    namespace script = platform::win32::script;
    std::vector<LRESULT> r;
    std::vector<Command> want;
    char small[3] = {'#', '#', '#'};
    script::call([&](HWND dialog) {
        want = {command(dialog, kCheck, BN_CLICKED), command(dialog, kDefault, BN_CLICKED),
                command(dialog, IDCANCEL, BN_CLICKED)};
        r.push_back(static_cast<LRESULT>(GetDlgItemTextA(dialog, kDefault, small, 3))); // room for two and the zero
        r.push_back(SendMessageA(dialog, DM_GETDEFID, 0, 0));
        r.push_back(SendDlgItemMessageA(dialog, IDCANCEL, WM_GETTEXTLENGTH, 0, 0));
    });
    // Tab stops in template order, skipping the disabled and the hidden
    // buttons: sorted list (the first focus), plain list, check, default,
    // cancel. Two tabs and Space click the check box, a tab and Return the
    // focused default button; four back tabs go to the sorted list, then round
    // to cancel, which Space clicks. The last Space is never played: the
    // dialog has ended.
    const std::pair<int, bool> keys[] = {{VK_TAB, false},    {VK_TAB, false},   {VK_SPACE, false}, {VK_TAB, false},
                                         {VK_RETURN, false}, {VK_TAB, true},    {VK_TAB, true},    {VK_TAB, true},
                                         {VK_TAB, true},     {VK_SPACE, false}, {VK_SPACE, false}};
    for (const auto& [vk, shift] : keys) {
        script::pressKey(vk, shift);
    }
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kProbeDialog), nullptr, probeProcedure, 0), 5);
    EXPECT_EQ(script::pending(), 1u);
    EXPECT_EQ(r, (std::vector<LRESULT>{2, static_cast<LRESULT>(MAKELONG(kDefault, 0x534B)), 6}));
    EXPECT_EQ(std::string(small, 2), "Go");
    EXPECT_EQ(small[2], '\0');
    EXPECT_EQ(commands, want);
}

} // namespace
