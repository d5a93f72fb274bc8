// "COMBOBOX": editable drop-down (CBS_DROPDOWN) or drop-down list (CBS_DROPDOWNLIST). The
// list never changes the edit text by itself: only a selection does, as on the platform.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include "platform/gui/controls.h"
#include "platform/gui/item_list.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_controls.h"

namespace murmel::gui {

namespace {

// The closed box; the height given at creation includes the dropped list.
constexpr int kClosedHeight = 22;

// The box keeps its items beside Qt's model too, for searches that scale with long lists.
// The dropped list takes the height that the creation gave beyond the closed box.
class Combo final : public QComboBox {
 public:
  Combo(int created_height, QWidget* parent)
      : QComboBox(parent), list_height_(created_height - kClosedHeight) {}
  ItemList list;

  void showPopup() override {
    QComboBox::showPopup();
    QWidget* popup = view()->window();
    if (list_height_ > 0 && popup != nullptr) popup->resize(popup->width(), list_height_);
  }

 private:
  int list_height_;
};

// Qt selects the first item added to an empty box; the platform leaves the edit alone.
LRESULT Insert(Combo& combo, int index, const QString& text) {
  const QString edit_text = combo.isEditable() ? combo.lineEdit()->text() : QString();
  const int current = combo.currentIndex();
  combo.insertItem(index, text);
  combo.list.Insert(index, text);
  if (current == -1 && combo.currentIndex() != -1) {
    combo.setCurrentIndex(-1);
    if (combo.isEditable()) combo.lineEdit()->setText(edit_text);
  }
  return index;
}

LRESULT EditSelection(const QComboBox& combo, WPARAM start_out, LPARAM end_out) {
  if (!combo.isEditable()) return CB_ERR;
  const QLineEdit& edit = *combo.lineEdit();
  const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
  const int end =
      edit.hasSelectedText() ? start + static_cast<int>(edit.selectedText().size()) : start;
  if (auto* out = reinterpret_cast<DWORD*>(start_out)) *out = static_cast<DWORD>(start);
  if (auto* out = reinterpret_cast<DWORD*>(end_out)) *out = static_cast<DWORD>(end);
  return MAKELONG(start, end);
}

LRESULT SetEditSelection(QComboBox& combo, LPARAM range) {
  if (!combo.isEditable()) return CB_ERR;
  QLineEdit& edit = *combo.lineEdit();
  const int length = static_cast<int>(edit.text().size());
  const auto start = static_cast<SHORT>(LOWORD(range));
  const auto end = static_cast<SHORT>(HIWORD(range));
  if (start == -1) {
    edit.deselect();
    return TRUE;
  }
  const int from = std::min<int>(start, length);
  const int to = end < 0 ? length : std::min<int>(end, length);
  edit.setSelection(from, to - from);
  return TRUE;
}

LRESULT ComboProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* combo = WidgetOf<Combo>(hWnd);
  WindowRecord* record = FindWindow(hWnd);
  if (combo == nullptr || record == nullptr) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  const int count = combo->count();
  const auto index = static_cast<int>(static_cast<INT_PTR>(wParam));
  switch (Msg) {
    case WM_SETTEXT:
      if (combo->isEditable()) {
        combo->lineEdit()->setText(TextFromParam(lParam));
        return TRUE;
      }
      return CB_ERR;
    case WM_GETTEXT:
      return CopyTextOut(combo->currentText(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return combo->currentText().size();
    case CB_ADDSTRING: {
      const QString text = TextFromParam(lParam);
      const int at = (record->style & CBS_SORT) != 0 ? combo->list.SortedInsertIndex(text) : count;
      return Insert(*combo, at, text);
    }
    case CB_INSERTSTRING:
      if (index > count || index < -1) return CB_ERR;
      return Insert(*combo, index == -1 ? count : index, TextFromParam(lParam));
    case CB_DELETESTRING:
      if (index < 0 || index >= count) return CB_ERR;
      combo->removeItem(index);
      combo->list.Remove(index);
      return combo->count();
    case CB_RESETCONTENT:
      combo->clear();
      combo->list.Clear();
      if (combo->isEditable()) combo->lineEdit()->clear();
      return 0;  // CB_OKAY
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return combo->currentIndex();
    case CB_SETCURSEL:
      if (index < 0 || index >= count) {
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) combo->lineEdit()->clear();
        return CB_ERR;
      }
      combo->setCurrentIndex(index);
      return index;
    case CB_GETLBTEXT: {
      if (index < 0 || index >= count || lParam == 0) return CB_ERR;
      const QString text = combo->itemText(index);
      // The caller sized the buffer from CB_GETLBTEXTLEN, as the platform requires.
      return CopyTextOut(text, static_cast<WPARAM>(text.size()) + 1, lParam);
    }
    case CB_GETLBTEXTLEN:
      return index < 0 || index >= count ? CB_ERR : combo->itemText(index).size();
    case CB_FINDSTRING: {
      const int found = combo->list.FindPrefix(index, TextFromParam(lParam));
      return found < 0 ? CB_ERR : found;
    }
    case CB_FINDSTRINGEXACT: {
      const int found = combo->list.FindExact(index, TextFromParam(lParam));
      return found < 0 ? CB_ERR : found;
    }
    case CB_SELECTSTRING: {
      const int found = combo->list.FindPrefix(index, TextFromParam(lParam));
      if (found < 0) return CB_ERR;
      combo->setCurrentIndex(found);
      return found;
    }
    case CB_GETEDITSEL:
      return EditSelection(*combo, wParam, lParam);
    case CB_SETEDITSEL:
      return SetEditSelection(*combo, lParam);
    case CB_LIMITTEXT:
      if (combo->isEditable())
        combo->lineEdit()->setMaxLength(wParam == 0 ? 32767 : static_cast<int>(wParam));
      return TRUE;
    case CB_SHOWDROPDOWN:
      if (wParam != 0) {
        combo->showPopup();
      } else {
        combo->hidePopup();
      }
      return TRUE;
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

QWidget* MakeCombo(WindowRecord& record, const CREATESTRUCTW& create, QWidget* parent) {
  const HWND handle = record.handle;
  auto* combo = new Combo(create.cy, parent);  // owned by the parent widget
  combo->setMaximumHeight(kClosedHeight);
  combo->setMaxVisibleItems(6);
  if ((record.style & 0x3) == CBS_DROPDOWN) {
    combo->setEditable(true);
    combo->setCompleter(nullptr);  // completion is the program's business
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->lineEdit()->setFrame(HasEdge(record));
    // Only the user's typing counts as an edit change, not WM_SETTEXT.
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                     [handle] { NotifyParent(handle, CBN_EDITCHANGE); });
  }
  QObject::connect(combo, &QComboBox::activated, combo,
                   [handle] { NotifyParent(handle, CBN_SELCHANGE); });
  NotifyFocus(combo, handle, CBN_SETFOCUS, CBN_KILLFOCUS);
  return combo;
}

}  // namespace

WindowClass ComboBoxClass() { return WindowClass{u"COMBOBOX", 0, ComboProc, nullptr, MakeCombo}; }

}  // namespace murmel::gui
