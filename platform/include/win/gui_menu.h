// Menus: loaded from a menu resource, taken apart by position, items enabled or grayed by
// command, and shown as a pop-up whose choice comes back as WM_COMMAND.
#pragma once

#include "win/error.h"
#include "win/gui.h"
#include "win/types.h"

// The resource type of menu templates.
#ifndef RT_MENU
#define RT_MENU 4
#endif

// Item flags, in menu templates and for EnableMenuItem.
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_ENABLED 0x00000000L
#define MF_STRING 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_CHECKED 0x00000008L
#define MF_POPUP 0x00000010L
#define MF_END 0x00000080L
#define MF_SEPARATOR 0x00000800L

// TrackPopupMenuEx placement and behaviour.
#define TPM_LEFTBUTTON 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_LEFTALIGN 0x0000L
#define TPM_CENTERALIGN 0x0004L
#define TPM_RIGHTALIGN 0x0008L
#define TPM_TOPALIGN 0x0000L
#define TPM_VCENTERALIGN 0x0010L
#define TPM_BOTTOMALIGN 0x0020L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L

struct tagTPMPARAMS {
  UINT cbSize;
  RECT rcExclude;
};
using TPMPARAMS = tagTPMPARAMS;
using LPTPMPARAMS = TPMPARAMS*;

// The header before the items of a menu template.
struct MENUITEMTEMPLATEHEADER {
  WORD versionNumber;
  WORD offset;
};

// Reads menu template `lpMenuName` (an id made with MAKEINTRESOURCEW) from the resources.
HMENU LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName);
// Builds a menu from template bytes in memory (header, then items).
HMENU LoadMenuIndirectW(const void* lpMenuTemplate);
// The pop-up at position nPos, or null when that item opens none.
HMENU GetSubMenu(HMENU hMenu, int nPos);
// Returns the item's previous state (MF_GRAYED, MF_DISABLED bits), or (UINT)-1 when no item
// matches. MF_BYCOMMAND also searches the pop-ups.
BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable);
int GetMenuItemCount(HMENU hMenu);
// Shows the pop-up on the emulated screen with (x, y) as the corner the flags name, and
// dispatches posted messages until the user chooses or dismisses it. The choice is posted
// to hWnd as WM_COMMAND, or returned with TPM_RETURNCMD.
BOOL TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hWnd, LPTPMPARAMS lptpm);
// Destroys the menu and the pop-ups it holds.
BOOL DestroyMenu(HMENU hMenu);
