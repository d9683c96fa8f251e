// The dialog manager: modal dialog boxes made from the program's dialog
// templates (resource.h), and the controls they hold: push buttons, check
// boxes, static texts and icons, read-only edit controls and list boxes.
//
// Layout follows the platform's rule: a dialog unit is a quarter of the
// average character width and an eighth of the character height of the
// template's font. Keyboard handling is the platform's: Tab and Shift+Tab move
// between WS_TABSTOP controls, arrows move in a list, Space presses the
// focused button or check box, Enter sends WM_COMMAND with the default button
// (IDOK when none is marked; nothing when that button is disabled), Escape
// sends WM_COMMAND IDCANCEL, and the frame's close box sends WM_CLOSE to the
// dialog procedure and, when it does not handle it, WM_COMMAND IDCANCEL.
//
// Live mode draws the dialog in an SDL window of its own in the classic grey
// style; virtual mode draws nothing and takes its input from the scripted user
// (script.h). In both modes the dialog procedure sees the same messages:
// WM_INITDIALOG, WM_COMMAND notifications, WM_CLOSE, a WM_PAINT after every
// change of the dialog's state, and WM_DESTROY when the dialog goes.
#pragma once

#include "platform/win32/user.h"

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;

// Dialog template styles.
inline constexpr DWORD DS_SETFONT = 0x0040;
inline constexpr DWORD DS_MODALFRAME = 0x0080;
inline constexpr DWORD DS_SETFOREGROUND = 0x0200;
inline constexpr DWORD DS_CENTER = 0x0800;

// Button styles, notifications, messages and states.
inline constexpr DWORD BS_PUSHBUTTON = 0x0000;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
inline constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
inline constexpr DWORD BS_TYPEMASK = 0x000F;
inline constexpr DWORD BS_FLAT = 0x8000;
inline constexpr WORD BN_CLICKED = 0;
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT BM_SETCHECK = 0x00F1;
inline constexpr UINT BM_CLICK = 0x00F5;
inline constexpr WPARAM BST_UNCHECKED = 0;
inline constexpr WPARAM BST_CHECKED = 1;

// Static control styles.
inline constexpr DWORD SS_LEFT = 0x0000;
inline constexpr DWORD SS_ICON = 0x0003;
inline constexpr DWORD SS_TYPEMASK = 0x001F;

// Edit control styles.
inline constexpr DWORD ES_LEFT = 0x0000;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;
inline constexpr DWORD ES_READONLY = 0x0800;

// List box styles, messages, notifications and results.
inline constexpr DWORD LBS_NOTIFY = 0x0001;
inline constexpr DWORD LBS_SORT = 0x0002;
inline constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x0100;
inline constexpr UINT LB_ADDSTRING = 0x0180;
inline constexpr UINT LB_RESETCONTENT = 0x0184;
inline constexpr UINT LB_SETCURSEL = 0x0186;
inline constexpr UINT LB_GETCURSEL = 0x0188;
inline constexpr UINT LB_GETTEXT = 0x0189;
inline constexpr UINT LB_GETTEXTLEN = 0x018A;
inline constexpr UINT LB_GETCOUNT = 0x018B;
inline constexpr UINT LB_GETTOPINDEX = 0x018E;
inline constexpr WORD LBN_SELCHANGE = 1;
inline constexpr LRESULT LB_ERR = -1;
inline constexpr LRESULT LB_ERRSPACE = -2;

// Dialog messages.
inline constexpr UINT DM_GETDEFID = 0x0400;

// Runs the dialog `templateName` (a resource number through MAKEINTRESOURCEA)
// of the program (instance null or GetModuleHandleA(NULL)) modally: creates it
// hidden, sends WM_INITDIALOG with `initParam`, shows it centred on the screen
// when DS_CENTER is set, then feeds it input until EndDialog is called, and
// returns EndDialog's result after WM_DESTROY. An exception thrown by the
// dialog procedure removes the dialog and leaves through this call.
// Returns -1 (last error set) for an unknown template or a null procedure, and
// in virtual mode when the scripted user has run out of actions and the
// dialog is still open after a final Escape.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM initParam);
// Marks the dialog as ended with `result`; the dialog goes once the procedure
// returns. Further calls before that replace the result.
BOOL EndDialog(HWND dialog, INT_PTR result);
// Dialog units of the dialog's font to pixels, in place.
BOOL MapDialogRect(HWND dialog, RECT* rect);
HWND GetDlgItem(HWND dialog, int controlId);
int GetDlgCtrlID(HWND control);
LRESULT SendDlgItemMessageA(HWND dialog, int controlId, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextA(HWND dialog, int controlId, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int controlId, LPSTR buffer, int size);
UINT IsDlgButtonChecked(HWND dialog, int controlId);
