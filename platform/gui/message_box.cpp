// MessageBoxW: a small dialog on the user-interface thread, whichever thread asks.
#include "platform/gui/message_box.h"

#include <QFontMetrics>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/gui/dialog_manager.h"
#include "platform/gui/gdi_objects.h"
#include "platform/gui/screen.h"
#include "platform/message/thread_queue.h"
#include "platform/message/window_registry.h"
#include "win/error.h"
#include "win/gui_controls.h"

namespace murmel::gui {

namespace {

constexpr int kBoxMargin = 8;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 52;
constexpr int kButtonHeight = 22;
constexpr int kButtonGap = 8;
constexpr int kTextId = 0xFFFF;
constexpr WORD kFontPoints = 8;

struct BoxButton {
  int id;
  const WCHAR* label;
};

struct BoxContent {
  std::u16string text;
  std::u16string caption;
  HWND owner;
  UINT style;
  std::vector<BoxButton> buttons;
  QRect text_place;
  HBITMAP icon = nullptr;
};

std::function<void(const MessageBoxShown&)>& Observer() {
  static std::function<void(const MessageBoxShown&)> observer;
  return observer;
}

std::vector<BoxButton> ButtonsOf(UINT style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNOCANCEL:
      return {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
      return {{IDYES, u"Yes"}, {IDNO, u"No"}};
    default:
      return {{IDOK, u"OK"}};
  }
}

bool HasButton(const BoxContent& content, int id) {
  return std::any_of(content.buttons.begin(), content.buttons.end(),
                     [id](const BoxButton& button) { return button.id == id; });
}

int DefaultButtonId(const BoxContent& content) {
  const std::size_t index = (content.style & MB_DEFMASK) >> 8;
  return content.buttons[std::min(index, content.buttons.size() - 1)].id;
}

HWND Create(HWND box, const WCHAR* window_class, const WCHAR* text, DWORD style, QRect place,
            int id) {
  const auto id_handle = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  return CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, place.x(), place.y(),
                         place.width(), place.height(), box, id_handle, nullptr, nullptr);
}

INT_PTR MessageBoxProc(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_INITDIALOG) {
    auto* content = reinterpret_cast<BoxContent*>(lParam);
    SetWindowLongPtrW(hDlg, GWL_USERDATA, lParam);
    if (content->icon != nullptr) {
      const HWND icon = Create(hDlg, u"STATIC", u"", SS_BITMAP | SS_CENTERIMAGE,
                               QRect(kBoxMargin, kBoxMargin + 2, kIconSize, kIconSize), 0);
      SendMessageW(icon, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(content->icon));
    }
    Create(hDlg, u"STATIC", content->text.c_str(), SS_LEFT, content->text_place, kTextId);
    RECT client{};
    GetClientRect(hDlg, &client);
    const int count = static_cast<int>(content->buttons.size());
    const int row = count * kButtonWidth + (count - 1) * kButtonGap;
    int x = (client.right - row) / 2;
    const int default_id = DefaultButtonId(*content);
    for (const BoxButton& button : content->buttons) {
      const DWORD kind = button.id == default_id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      Create(hDlg, u"button", button.label, kind | WS_TABSTOP,
             QRect(x, client.bottom - kBoxMargin - kButtonHeight, kButtonWidth, kButtonHeight),
             button.id);
      x += kButtonWidth + kButtonGap;
    }
    SendMessageW(hDlg, DM_SETDEFID, static_cast<WPARAM>(default_id), 0);
    SetFocus(GetDlgItem(hDlg, default_id));
    if (Observer()) {
      Observer()(
          MessageBoxShown{hDlg, content->owner, content->text, content->caption, content->style});
    }
    return FALSE;
  }
  if (Msg != WM_COMMAND) return FALSE;
  const auto* content = reinterpret_cast<const BoxContent*>(GetWindowLongPtrW(hDlg, GWL_USERDATA));
  int id = LOWORD(wParam);
  // Escape and closing mean Cancel, or OK for a box whose only button is OK.
  if (id == IDCANCEL && !HasButton(*content, IDCANCEL)) {
    if ((content->style & MB_TYPEMASK) != MB_OK) return TRUE;
    id = IDOK;
  }
  if (HasButton(*content, id)) EndDialog(hDlg, id);
  return TRUE;
}

int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption,
                   UINT style) {
  EnsureApplication();
  BoxContent content{text, caption, owner, style, ButtonsOf(style), {}, nullptr};
  const QImage icon = MessageBoxIcon(style);
  if (!icon.isNull()) content.icon = MakeBitmap(icon);

  const RECT visible = VisibleDesktop();
  const int width = (visible.right - visible.left) - 2 * kBoxMargin;
  const int text_left = kBoxMargin + (content.icon != nullptr ? kIconSize + kBoxMargin : 0);
  const int text_width = width - text_left - kBoxMargin;
  const QFontMetrics metrics(DialogFont(u"MS Sans Serif", kFontPoints));
  const QString qtext = QString::fromStdU16String(text);
  const int text_height =
      metrics.boundingRect(QRect(0, 0, text_width, 10000), Qt::TextWordWrap, qtext).height();
  content.text_place = QRect(text_left, kBoxMargin + 2, text_width, text_height);
  const int body = std::max(text_height, content.icon != nullptr ? kIconSize : 0);
  const int height = kBoxMargin + 2 + body + 2 * kBoxMargin + kButtonHeight + kBoxMargin;
  const int top =
      std::max(static_cast<int>(visible.top), (visible.top + visible.bottom - height) / 2);

  DialogTemplate dialog;
  dialog.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION;
  dialog.caption = caption;
  dialog.point_size = kFontPoints;
  dialog.face = u"MS Sans Serif";
  const INT_PTR result =
      RunDialog(dialog, nullptr, owner, MessageBoxProc, reinterpret_cast<LPARAM>(&content),
                QRect(visible.left + kBoxMargin, top, width, height));
  if (content.icon != nullptr) DeleteObject(content.icon);
  return result < 0 ? 0 : static_cast<int>(result);
}

}  // namespace

void SetMessageBoxObserver(std::function<void(const MessageBoxShown&)> observer) {
  Observer() = std::move(observer);
}

HWND MessageBoxButton(HWND box, int answer) {
  if (const HWND button = GetDlgItem(box, answer)) return button;
  const LRESULT default_id = SendMessageW(box, DM_GETDEFID, 0, 0);
  return HIWORD(default_id) == DC_HASDEFID ? GetDlgItem(box, LOWORD(default_id)) : nullptr;
}

}  // namespace murmel::gui

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  if (hWnd != nullptr && !IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const std::u16string text = lpText != nullptr ? lpText : u"";
  const std::u16string caption = lpCaption != nullptr ? lpCaption : u"Error";
  std::shared_ptr<murmel::message::ThreadQueue> owner_queue =
      hWnd != nullptr ? murmel::message::WindowOwnerQueue(hWnd) : murmel::gui::GuiThreadQueue();
  const std::shared_ptr<murmel::message::ThreadQueue> self = murmel::message::CurrentThreadQueue();
  if (!owner_queue || owner_queue == self) {
    return murmel::gui::ShowMessageBox(hWnd, text, caption, uType);
  }
  // Another thread's box runs on the user-interface thread; this one waits for the answer
  // and serves what is sent to it meanwhile.
  auto sent = std::make_shared<murmel::message::SentCall>();
  sent->call = [=]() -> LRESULT { return murmel::gui::ShowMessageBox(hWnd, text, caption, uType); };
  sent->reply_to = self;
  owner_queue->Send(sent);
  self->WaitForReply(*sent);
  return static_cast<int>(sent->result);
}
