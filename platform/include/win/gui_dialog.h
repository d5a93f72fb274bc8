// Dialogs from templates, the dialog manager's keys and default button, message boxes and
// the dialog resources a program carries.
#pragma once

#include "win/gui.h"
#include "win/gui_gdi.h"
#include "win/types.h"

// The binary template a resource compiler writes: the header, then the menu, class and
// title, then (with DS_SETFONT) the point size and face name, then the items, each on a
// DWORD boundary. Strings are UTF-16, NUL-terminated, or 0xFFFF followed by an ordinal.
#pragma pack(push, 2)
struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
};
struct DLGITEMTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
};
#pragma pack(pop)
using LPCDLGTEMPLATEW = const DLGTEMPLATE*;
using LPCDLGTEMPLATE = LPCDLGTEMPLATEW;

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// Dialog styles.
#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_3DLOOK 0x04L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_SETFOREGROUND 0x200L
#define DS_CONTROL 0x400L
#define DS_CENTER 0x800L

// Windows CE: an OK button in the caption, and a window the pen cannot drag.
#define WS_EX_CAPTIONOKBTN 0x80000000L
#define WS_EX_NODRAG 0x40000000L

#ifndef SS_ICON
#define SS_ICON 0x00000003L
#endif

// Item classes as ordinals in a template.
#define DLG_CLASS_BUTTON 0x0080
#define DLG_CLASS_EDIT 0x0081
#define DLG_CLASS_STATIC 0x0082
#define DLG_CLASS_LISTBOX 0x0083
#define DLG_CLASS_SCROLLBAR 0x0084
#define DLG_CLASS_COMBOBOX 0x0085

#define WM_INITDIALOG 0x0110
#define WM_NEXTDLGCTL 0x0028
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B
#define DWL_MSGRESULT 0

// Command ids of the standard buttons, also the results of MessageBoxW.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Creates the dialog, sends WM_INITDIALOG with dwInitParam, runs a modal loop (posted
// messages keep being dispatched in order) and returns EndDialog's result; -1 when the
// dialog cannot be created.
INT_PTR DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam);
inline INT_PTR DialogBoxIndirectW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                  HWND hWndParent, DLGPROC lpDialogFunc) {
  return DialogBoxIndirectParamW(hInstance, hDialogTemplate, hWndParent, lpDialogFunc, 0);
}
// The template resource of that name (RT_DIALOG), then as DialogBoxIndirectParamW.
INT_PTR DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam);
// Ends the modal loop of the dialog once its procedure returns; the dialog is destroyed.
BOOL EndDialog(HWND hDlg, INT_PTR nResult);
// The dialog class's window procedure: calls the dialog procedure first, then does the
// default work (DM_GETDEFID, DM_SETDEFID, WM_CLOSE as IDCANCEL, ...).
LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);
// The next (or previous) control with WS_TABSTOP after hCtl, wrapping round; hCtl null:
// from the start.
HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious);
// Dialog units to pixels through the dialog's font.
BOOL MapDialogRect(HWND hDlg, LPRECT lpRect);
// The base units of the platform's dialog font: width in the low word, height in the high.
LONG GetDialogBaseUnits();

LRESULT SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax);
BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
UINT IsDlgButtonChecked(HWND hDlg, int nIDButton);
BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton);

// Message boxes: buttons, icons, default button.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONMASK 0x000000F0L
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFMASK 0x00000F00L
#define MB_APPLMODAL 0x00000000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L

// Shows a modal box on the user-interface thread and returns the id of the button chosen.
// Any thread may call it: the caller waits (serving messages sent to it) until the box is
// closed. 0 when the box cannot be shown.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

// Resources found by name and type. Only numeric names and types (MAKEINTRESOURCEW).
#define RT_DIALOG MAKEINTRESOURCEW(5)
HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
