// Window classes, creation and destruction, the default procedure, and window state.
#include <QApplication>
#include <atomic>

#include "platform/gui/dialog_shell.h"
#include "platform/gui/gdi_objects.h"
#include "platform/gui/host_widget.h"
#include "platform/gui/screen.h"
#include "platform/gui/single_instance.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "platform/message/window_registry.h"
#include "win/error.h"
#include "win/gui.h"
#include "win/text.h"

namespace murmel::gui {

namespace {

// Read by other threads through GetForegroundWindow; written on the GUI thread.
std::atomic<HWND>& ActiveWindow() {
  static std::atomic<HWND> active{nullptr};
  return active;
}

HWND TopLevelOf(HWND window) {
  WindowRecord* record = FindWindow(window);
  while (record != nullptr && (record->style & WS_CHILD) != 0) record = FindWindow(record->parent);
  return record == nullptr ? nullptr : record->handle;
}

QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void DestroyTree(HWND window) {
  WindowRecord* record = FindWindow(window);
  if (record == nullptr || record->destroying) return;
  record->destroying = true;
  SendMessageW(window, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(window)) DestroyTree(child);
  KillTimersOf(window);
  if (ActiveWindow() == window) {
    ActiveWindow() = nullptr;
    SetNavigationTitle(QString());
  }
  record = FindWindow(window);
  if (record != nullptr && record->widget) {
    record->widget->hide();
    record->widget->deleteLater();
  }
  WithdrawTopLevel(window);
  message::DestroyWindowRecord(window);
  RemoveWindow(window);
}

}  // namespace

void Activate(HWND window) {
  HWND top = TopLevelOf(window);
  if (top == nullptr) return;
  WindowRecord* record = FindWindow(top);
  if (record->widget) record->widget->raise();
  RaiseChrome();
  QApplication::setActiveWindow(ScreenWidget());
  const HWND previous = ActiveWindow();
  if (previous == top) return;
  ActiveWindow() = top;
  SetNavigationTitle(ToQString(record->text));
  ApplyShellNavigation(top);
  if (previous != nullptr)
    SendMessageW(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
  SendMessageW(top, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
}

HWND ActiveTopLevel() { return ActiveWindow(); }

LRESULT CopyTextOut(const QString& text, WPARAM capacity, LPARAM buffer) {
  auto* out = reinterpret_cast<WCHAR*>(buffer);
  if (out == nullptr || capacity == 0) return 0;
  const auto count = std::min<std::size_t>(static_cast<std::size_t>(text.size()), capacity - 1);
  for (std::size_t i = 0; i < count; ++i) out[i] = text.at(static_cast<qsizetype>(i)).unicode();
  out[count] = 0;
  return static_cast<LRESULT>(count);
}

QString TextFromParam(LPARAM text) {
  const auto* chars = reinterpret_cast<const WCHAR*>(text);
  if (chars == nullptr) return QString();
  return QString::fromUtf16(chars, static_cast<qsizetype>(wcslen(chars)));
}

}  // namespace murmel::gui

using murmel::gui::FindWindow;
using murmel::gui::LiveWindow;
using murmel::gui::RunOnOwner;
using murmel::gui::WindowRecord;

ATOM RegisterClassW(const WNDCLASSW* lpWndClass) {
  if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
      lpWndClass->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  murmel::gui::EnsureApplication();
  murmel::gui::WindowClass window_class;
  window_class.name = lpWndClass->lpszClassName;
  window_class.style = lpWndClass->style;
  window_class.proc = lpWndClass->lpfnWndProc;
  window_class.instance = lpWndClass->hInstance;
  if (!murmel::gui::AddClass(std::move(window_class))) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  static ATOM next_atom = 0xC000;
  return next_atom++;
}

BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE /*hInstance*/) {
  if (!murmel::gui::RemoveClass(lpClassName)) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  return TRUE;
}

HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                     int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam) {
  murmel::gui::EnsureApplication();
  murmel::gui::RegisterBuiltInClasses();
  const murmel::gui::WindowClass* window_class = murmel::gui::FindClass(lpClassName);
  if (window_class == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  const bool child = (dwStyle & WS_CHILD) != 0;
  WindowRecord* parent = hWndParent == nullptr ? nullptr : LiveWindow(hWndParent);
  if (child && parent == nullptr) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  if (X == CW_USEDEFAULT) {
    X = 0;
    Y = child ? 0 : murmel::gui::kBarHeight;  // top-level windows start below the navigation bar
  }
  if (nWidth == CW_USEDEFAULT) {
    nWidth = child ? 0 : murmel::gui::kScreenWidth;
    nHeight = child ? 0 : murmel::gui::kScreenHeight - murmel::gui::kBarHeight;
  }

  const HWND handle = murmel::message::CreateWindowRecord();
  if (handle == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  WindowRecord& record = murmel::gui::AddWindow(handle);
  record.window_class = window_class;
  murmel::message::SetWindowProcedure(handle, window_class->proc);
  record.parent = hWndParent;
  record.id = child ? static_cast<int>(reinterpret_cast<INT_PTR>(hMenu)) : 0;
  record.style = dwStyle;
  record.ex_style = dwExStyle;
  if (lpWindowName != nullptr) record.text = lpWindowName;

  CREATESTRUCTW create{lpParam,
                       hInstance,
                       hMenu,
                       hWndParent,
                       nHeight,
                       nWidth,
                       Y,
                       X,
                       static_cast<LONG>(dwStyle),
                       lpWindowName,
                       lpClassName,
                       dwExStyle};
  QWidget* parent_widget = child ? murmel::gui::ClientWidget(*parent) : murmel::gui::Desktop();
  QWidget* widget = window_class->factory ? window_class->factory(record, create, parent_widget)
                                          : new murmel::gui::HostWidget(
                                                handle, (dwStyle & WS_BORDER) != 0, parent_widget);
  murmel::gui::BindWidget(record, widget);
  widget->setGeometry(X, Y, nWidth, nHeight);
  widget->setEnabled((dwStyle & WS_DISABLED) == 0);
  if (!child) murmel::gui::RaiseChrome();

  if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!child) murmel::gui::PublishTopLevel(handle, window_class->name);  // for other processes
  if ((dwStyle & WS_VISIBLE) != 0) {
    widget->show();
    if (!child) murmel::gui::Activate(handle);
  }
  return handle;
}

BOOL DestroyWindow(HWND hWnd) {
  WindowRecord* record = LiveWindow(hWnd);
  if (record == nullptr) return FALSE;
  if (murmel::message::WindowOwnerQueue(hWnd) != murmel::message::CurrentThreadQueue()) {
    SetLastError(ERROR_ACCESS_DENIED);  // only the owning thread may destroy a window
    return FALSE;
  }
  murmel::gui::DestroyTree(hWnd);
  return TRUE;
}

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FindWindow(hWnd);
  if (record == nullptr) return 0;
  switch (Msg) {
    case WM_SETTEXT: {
      const QString text = murmel::gui::TextFromParam(lParam);
      record->text = text.toStdU16String();
      if (hWnd == murmel::gui::ActiveTopLevel()) murmel::gui::SetNavigationTitle(text);
      return TRUE;
    }
    case WM_GETTEXT:
      return murmel::gui::CopyTextOut(QString::fromStdU16String(record->text), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(record->text.size());
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SETICON: {
      const std::size_t kind = wParam == ICON_BIG ? 1 : 0;
      HICON previous = record->icons[kind];
      record->icons[kind] = reinterpret_cast<HICON>(lParam);
      // The screen is the one desktop window: the window manager shows its icon.
      if (const QImage* image = murmel::gui::ImageOf(record->icons[kind]); image && kind == 1) {
        murmel::gui::ScreenWidget()->setWindowIcon(QPixmap::fromImage(*image));
      }
      return reinterpret_cast<LRESULT>(previous);
    }
    default:
      return 0;
  }
}

LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex) {
  return RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr) return 0;
        switch (nIndex) {
          case GWL_WNDPROC:
            return reinterpret_cast<LONG_PTR>(murmel::message::WindowProcedure(hWnd));
          case GWL_STYLE:
            return static_cast<LONG>(record->style);
          case GWL_EXSTYLE:
            return static_cast<LONG>(record->ex_style);
          case GWL_ID:
            return record->id;
          case GWL_USERDATA:
            return record->user_data;
          default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
      },
      0);
}

LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  return RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr) return 0;
        LONG_PTR previous = 0;
        switch (nIndex) {
          case GWL_WNDPROC:
            return reinterpret_cast<LONG_PTR>(
                murmel::message::SetWindowProcedure(hWnd, reinterpret_cast<WNDPROC>(dwNewLong)));
          case GWL_STYLE:
            previous = static_cast<LONG>(record->style);
            record->style = static_cast<DWORD>(dwNewLong);
            return previous;
          case GWL_EXSTYLE:
            previous = static_cast<LONG>(record->ex_style);
            record->ex_style = static_cast<DWORD>(dwNewLong);
            return previous;
          case GWL_ID:
            previous = record->id;
            record->id = static_cast<int>(dwNewLong);
            return previous;
          case GWL_USERDATA:
            previous = record->user_data;
            record->user_data = dwNewLong;
            return previous;
          default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
      },
      0);
}

// A procedure address does not fit a LONG on this 64-bit host: GWL_WNDPROC needs the
// pointer-sized calls.
LONG GetWindowLongW(HWND hWnd, int nIndex) {
  if (nIndex == GWL_WNDPROC) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return static_cast<LONG>(GetWindowLongPtrW(hWnd, nIndex));
}

LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
  if (nIndex == GWL_WNDPROC) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return static_cast<LONG>(SetWindowLongPtrW(hWnd, nIndex, dwNewLong));
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  return reinterpret_cast<HWND>(RunOnOwner(
      hDlg,
      [=]() -> LRESULT {
        if (LiveWindow(hDlg) == nullptr) return 0;
        for (HWND child : murmel::gui::ChildrenOf(hDlg)) {
          if (FindWindow(child)->id == nIDDlgItem) return reinterpret_cast<LRESULT>(child);
        }
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
        return 0;
      },
      0));
}

int GetDlgCtrlID(HWND hWnd) { return static_cast<int>(GetWindowLongPtrW(hWnd, GWL_ID)); }

HWND GetParent(HWND hWnd) {
  return reinterpret_cast<HWND>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        return record == nullptr ? 0 : reinterpret_cast<LRESULT>(record->parent);
      },
      0));
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr) return FALSE;
        const bool was_disabled = (record->style & WS_DISABLED) != 0;
        if (bEnable) {
          record->style &= ~static_cast<DWORD>(WS_DISABLED);
        } else {
          record->style |= WS_DISABLED;
        }
        if (record->widget) record->widget->setEnabled(bEnable != FALSE);
        if (was_disabled == (bEnable != FALSE)) SendMessageW(hWnd, WM_ENABLE, bEnable != FALSE, 0);
        return was_disabled ? TRUE : FALSE;
      },
      FALSE));
}

BOOL IsWindowEnabled(HWND hWnd) {
  const LONG_PTR style = GetWindowLongPtrW(hWnd, GWL_STYLE);
  return IsWindow(hWnd) && (style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        return record != nullptr && record->widget && record->widget->isVisible() ? TRUE : FALSE;
      },
      FALSE));
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return static_cast<BOOL>(SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (lpString != nullptr && nMaxCount > 0) lpString[0] = 0;
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpString == nullptr || nMaxCount <= 0) return 0;
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                       reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthW(HWND hWnd) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

HWND GetFocus() {
  if (!murmel::gui::OnGuiThread()) return nullptr;  // focus belongs to the GUI thread
  return murmel::gui::WindowOfWidget(QApplication::focusWidget());
}

HWND SetFocus(HWND hWnd) {
  // A worker moving the focus (the send thread at its end) has it moved by the window's own
  // thread: Qt widgets may only be touched there.
  return reinterpret_cast<HWND>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return 0;
        const HWND previous = GetFocus();
        murmel::gui::Activate(hWnd);
        QWidget* target = record->widget->focusProxy() != nullptr ? record->widget->focusProxy()
                                                                  : record->widget.data();
        target->setFocus(Qt::OtherFocusReason);
        return reinterpret_cast<LRESULT>(previous);
      },
      0));
}

HWND GetActiveWindow() { return murmel::gui::ActiveTopLevel(); }

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return FALSE;
        record->widget->setGeometry(X, Y, nWidth, nHeight);
        if (bRepaint) record->widget->update();
        const QSize client = murmel::gui::ClientSizeOf(*record);
        SendMessageW(hWnd, WM_SIZE, 0, MAKELONG(client.width(), client.height()));
        return TRUE;
      },
      FALSE));
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (lpRect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return FALSE;
        const QPoint origin = record->widget->mapTo(murmel::gui::ScreenWidget(), QPoint(0, 0));
        *lpRect = RECT{origin.x(), origin.y(), origin.x() + record->widget->width(),
                       origin.y() + record->widget->height()};
        return TRUE;
      },
      FALSE));
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (lpRect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return FALSE;
        const QSize client = murmel::gui::ClientSizeOf(*record);
        *lpRect = RECT{0, 0, client.width(), client.height()};
        return TRUE;
      },
      FALSE));
}

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL /*bErase*/) {
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return FALSE;
        QWidget* client =
            murmel::gui::ClientWidget(*record);  // the rectangle is in its coordinates
        if (lpRect == nullptr) {
          client->update();
        } else {
          client->update(lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                         lpRect->bottom - lpRect->top);
        }
        return TRUE;
      },
      FALSE));
}

BOOL UpdateWindow(HWND hWnd) {
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return FALSE;
        record->widget->repaint();
        return TRUE;
      },
      FALSE));
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || !record->widget) return FALSE;
        const bool was_visible = record->widget->isVisible();
        const bool show = nCmdShow != SW_HIDE && nCmdShow != SW_MINIMIZE;
        record->widget->setVisible(show);
        if (show) {
          record->style |= WS_VISIBLE;
          if ((record->style & WS_CHILD) == 0 && nCmdShow != SW_SHOWNA) murmel::gui::Activate(hWnd);
        } else {
          record->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
        return was_visible ? TRUE : FALSE;
      },
      FALSE));
}

BOOL SetForegroundWindow(HWND hWnd) {
  if (murmel::gui::IsRemoteWindow(hWnd)) return murmel::gui::RaiseRemoteWindow(hWnd) ? TRUE : FALSE;
  return static_cast<BOOL>(RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        if (LiveWindow(hWnd) == nullptr) return FALSE;
        murmel::gui::Activate(hWnd);
        murmel::gui::ScreenWidget()->raise();
        murmel::gui::ScreenWidget()->activateWindow();
        return TRUE;
      },
      FALSE));
}

HWND GetForegroundWindow() { return murmel::gui::ActiveTopLevel(); }

HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  // Windows of this process first; without an application yet there are none, and a second
  // copy that only looks must not start one.
  if (murmel::gui::OnGuiThread()) {
    for (HWND top : murmel::gui::TopLevelWindows()) {
      const WindowRecord* record = FindWindow(top);
      if (lpClassName != nullptr && lstrcmpiW(record->window_class->name.c_str(), lpClassName) != 0)
        continue;
      if (lpWindowName != nullptr && record->text != lpWindowName) continue;
      return top;
    }
  }
  // Another process of this user answers for the class it publishes, not for titles.
  if (lpClassName == nullptr || lpWindowName != nullptr) return nullptr;
  return murmel::gui::FindRemoteWindow(lpClassName);
}
