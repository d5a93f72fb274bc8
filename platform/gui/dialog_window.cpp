// Dialog windows: the dialog class, creation from a template, the default dialog procedure,
// EndDialog and the modal dialog boxes.
#include <QCloseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWidget>
#include <map>

#include "platform/gui/dialog_manager.h"
#include "platform/gui/dialog_shell.h"
#include "platform/gui/screen.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "platform/gui/window_table.h"
#include "win/error.h"
#include "win/gui_controls.h"
#include "win/gui_dialog.h"

namespace murmel::gui {

namespace {

constexpr const WCHAR* kDialogClass = u"#32770";

std::map<HWND, DialogState>& Dialogs() {
  static std::map<HWND, DialogState> dialogs;
  return dialogs;
}

// A white window; a dialog that does not fill the screen gets a frame.
class DialogWidget : public QWidget {
 public:
  DialogWidget(HWND window, QWidget* parent) : QWidget(parent), window_(window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!IsFullScreenDialog(window_)) {
      painter.setPen(QColor(0x10, 0x3C, 0x8C));
      painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
  }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    SendMessageW(window_, WM_CLOSE, 0, 0);
  }

 private:
  HWND window_;
};

void RegisterDialogClass() {
  static const bool registered = [] {
    RegisterBuiltInClasses();
    return AddClass(WindowClass{kDialogClass, 0, DefDlgProcW, nullptr,
                                [](WindowRecord& record, const CREATESTRUCTW&, QWidget* parent) {
                                  return new DialogWidget(record.handle, parent);
                                }});
  }();
  static_cast<void>(registered);
}

bool IsPushButton(const WindowRecord& record) {
  if (record.window_class == nullptr || record.window_class->name != u"button") return false;
  const DWORD type = record.style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// The first default push button among the dialog's controls, as the platform falls back to.
HWND FindDefaultButton(HWND dialog) {
  for (HWND child : ChildrenOf(dialog)) {
    const WindowRecord* record = FindWindow(child);
    if (IsPushButton(*record) && (record->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return child;
  }
  return nullptr;
}

QRect PlaceOf(const DialogTemplate& dialog, BaseUnits units, HWND owner) {
  const int width = DialogUnitsToPixelsX(dialog.cx, units);
  const int height = DialogUnitsToPixelsY(dialog.cy, units);
  const RECT visible = VisibleDesktop();
  if ((dialog.style & DS_CENTER) != 0) {
    return QRect((visible.left + visible.right - width) / 2,
                 (visible.top + visible.bottom - height) / 2, width, height);
  }
  // Relative to the owner, or to the work area when there is none.
  RECT origin{visible.left, visible.top, 0, 0};
  if (owner != nullptr && (dialog.style & DS_ABSALIGN) == 0) GetWindowRect(owner, &origin);
  return QRect(origin.left + DialogUnitsToPixelsX(dialog.x, units),
               origin.top + DialogUnitsToPixelsY(dialog.y, units), width, height);
}

bool CreateItem(HWND dialog, const DialogItem& item, HINSTANCE instance, BaseUnits units) {
  const std::u16string class_name = ItemClassName(item.window_class);
  DWORD style = item.style | WS_CHILD;
  const bool icon = class_name == u"STATIC" && (style & SS_TYPEMASK) == SS_ICON;
  // The static control shows an icon as its picture.
  if (icon) style = (style & ~static_cast<DWORD>(SS_TYPEMASK)) | SS_BITMAP | SS_CENTERIMAGE;
  const auto menu_id = static_cast<INT_PTR>(item.id);
  const auto id_handle = reinterpret_cast<HMENU>(menu_id);
  const HWND control = CreateWindowExW(
      item.ex_style, class_name.c_str(), item.title.is_ordinal ? u"" : item.title.text.c_str(),
      style, DialogUnitsToPixelsX(item.x, units), DialogUnitsToPixelsY(item.y, units),
      DialogUnitsToPixelsX(item.cx, units), DialogUnitsToPixelsY(item.cy, units), dialog, id_handle,
      instance, nullptr);
  if (control == nullptr) return false;
  if (icon && item.title.is_ordinal) {
    const HICON picture = LoadIconW(instance, MAKEINTRESOURCEW(item.title.ordinal));
    SendMessageW(control, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture));
  }
  return true;
}

HWND CreateDialogWindow(const DialogTemplate& dialog, HINSTANCE instance, HWND owner, DLGPROC proc,
                        std::optional<QRect> pixels) {
  RegisterDialogClass();
  const QFont font = DialogFont(dialog.face, dialog.point_size);
  const BaseUnits units = BaseUnitsOf(font);
  const QRect place = pixels ? *pixels : PlaceOf(dialog, units, owner);
  // Shown once its items exist, before WM_INITDIALOG, so that focus set there sticks.
  const DWORD style = (dialog.style & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD)) | WS_POPUP;
  const HWND window =
      CreateWindowExW(dialog.ex_style, kDialogClass, dialog.caption.c_str(), style, place.x(),
                      place.y(), place.width(), place.height(), owner, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  DialogState& state = Dialogs()[window];
  state.proc = proc;
  state.units = units;
  state.owner = owner;
  FindWindow(window)->widget->setFont(font);
  for (const DialogItem& item : dialog.items) {
    if (!CreateItem(window, item, instance, units)) {
      Dialogs().erase(window);
      DestroyWindow(window);
      return nullptr;
    }
  }
  if (const HWND button = FindDefaultButton(window)) state.default_id = GetDlgCtrlID(button);
  return window;
}

}  // namespace

DialogState* FindDialog(HWND window) {
  const auto it = Dialogs().find(window);
  return it == Dialogs().end() ? nullptr : &it->second;
}

void ShowDefaultButton(HWND dialog, int id) {
  for (HWND child : ChildrenOf(dialog)) {
    WindowRecord* record = FindWindow(child);
    if (!IsPushButton(*record)) continue;
    const bool is_default = record->id == id;
    record->style = (record->style & ~static_cast<DWORD>(BS_TYPEMASK)) |
                    (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    if (auto* button = qobject_cast<QPushButton*>(record->widget.data())) {
      button->setDefault(is_default);
    }
  }
}

INT_PTR RunDialog(const DialogTemplate& dialog, HINSTANCE instance, HWND owner, DLGPROC proc,
                  LPARAM init_param, std::optional<QRect> pixels) {
  EnsureApplication();
  InstallDialogKeys();
  const HWND previous_focus = GetFocus();
  const HWND previous_active = ActiveTopLevel();
  const HWND window = CreateDialogWindow(dialog, instance, owner, proc, pixels);
  if (window == nullptr) return -1;
  PushModal(window);
  ShowWindow(window, SW_SHOW);
  const HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  if (SendMessageW(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), init_param) != 0 &&
      first != nullptr && IsWindow(window)) {
    SetFocus(first);
  }
  RunModalLoop([window] {
    const DialogState* state = FindDialog(window);
    return state == nullptr || state->ended;
  });
  const DialogState* state = FindDialog(window);
  const INT_PTR result = state != nullptr ? state->result : 0;
  PopModal(window);
  if (IsWindow(window)) DestroyWindow(window);
  // The window that was active before comes back, with its focus.
  const HWND back = IsWindow(owner) ? owner : previous_active;
  if (IsWindow(previous_focus)) {
    SetFocus(previous_focus);
  } else if (IsWindow(back)) {
    Activate(back);
  }
  if (!IsWindow(back) && ActiveTopLevel() == nullptr) SetDoneButton(nullptr);
  return result;
}

}  // namespace murmel::gui

using murmel::gui::DialogState;
using murmel::gui::FindDialog;

LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  DialogState* state = FindDialog(hDlg);
  if (state == nullptr) return DefWindowProcW(hDlg, Msg, wParam, lParam);
  const INT_PTR handled = state->proc != nullptr ? state->proc(hDlg, Msg, wParam, lParam) : 0;
  // WM_INITDIALOG's answer is the procedure's own (whether to set the focus).
  if (Msg == WM_INITDIALOG) return handled;
  state = FindDialog(hDlg);
  if (handled != 0 || state == nullptr) return 0;
  switch (Msg) {
    case DM_GETDEFID:
      if (state->ended || state->default_id == 0) return 0;
      return MAKELONG(state->default_id, DC_HASDEFID);
    case DM_SETDEFID:
      state->default_id = static_cast<int>(wParam);
      murmel::gui::ShowDefaultButton(hDlg, state->default_id);
      return TRUE;
    case WM_NEXTDLGCTL: {
      // lParam nonzero: wParam is the control; else wParam picks the next or previous stop.
      HWND target = reinterpret_cast<HWND>(wParam);
      if (LOWORD(lParam) == 0) target = GetNextDlgTabItem(hDlg, GetFocus(), wParam != 0);
      if (target != nullptr) SetFocus(target);
      return 0;
    }
    case WM_CLOSE: {
      const HWND cancel = GetDlgItem(hDlg, IDCANCEL);
      if (cancel == nullptr || IsWindowEnabled(cancel)) {
        SendMessageW(hDlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(cancel));
      }
      return 0;
    }
    case WM_DESTROY:
      murmel::gui::ForgetShellState(hDlg);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcW(hDlg, Msg, wParam, lParam);
  }
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  DialogState* state = FindDialog(hDlg);
  if (state == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  state->ended = true;
  state->result = nResult;
  ShowWindow(hDlg, SW_HIDE);
  return TRUE;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  const std::optional<murmel::gui::DialogTemplate> dialog =
      murmel::gui::ParseDialogTemplate(hDialogTemplate);
  if (!dialog || (hWndParent != nullptr && !IsWindow(hWndParent))) {
    SetLastError(dialog ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return -1;
  }
  return murmel::gui::RunDialog(*dialog, hInstance, hWndParent, lpDialogFunc, dwInitParam);
}

INT_PTR DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  const HRSRC found = FindResourceW(hInstance, lpTemplateName, RT_DIALOG);
  if (found == nullptr) return -1;
  const auto* dialog = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(hInstance, found)));
  return DialogBoxIndirectParamW(hInstance, dialog, hWndParent, lpDialogFunc, dwInitParam);
}
