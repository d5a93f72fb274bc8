// "LISTBOX": a single-selection list, sorted with LBS_SORT, telling its parent about the
// user's selections with LBS_NOTIFY.
#include <QListWidget>
#include <QSignalBlocker>

#include "platform/gui/controls.h"
#include "platform/gui/item_list.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_controls.h"

namespace murmel::gui {

namespace {

// The list keeps its items beside Qt's model too, for searches that scale with long lists.
class List final : public QListWidget {
 public:
  using QListWidget::QListWidget;
  ItemList items;

  int InsertAt(int at, const QString& text) {
    const QSignalBlocker quiet(this);
    insertItem(at, text);
    items.Insert(at, text);
    return at;
  }
};

// Programmatic selections are silent, as on the platform.
void Select(QListWidget& list, int index) {
  const QSignalBlocker quiet(list);
  list.setCurrentRow(index);
  if (index < 0) list.clearSelection();
}

LRESULT ListProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* list = WidgetOf<List>(hWnd);
  WindowRecord* record = FindWindow(hWnd);
  if (list == nullptr || record == nullptr) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  const int count = list->count();
  const auto index = static_cast<int>(static_cast<INT_PTR>(wParam));
  switch (Msg) {
    case LB_ADDSTRING: {
      const QString text = TextFromParam(lParam);
      return list->InsertAt(
          (record->style & LBS_SORT) != 0 ? list->items.SortedInsertIndex(text) : count, text);
    }
    case LB_INSERTSTRING:
      if (index > count || index < -1) return LB_ERR;
      return list->InsertAt(index == -1 ? count : index, TextFromParam(lParam));
    case LB_DELETESTRING: {
      if (index < 0 || index >= count) return LB_ERR;
      const QSignalBlocker quiet(list);
      delete list->takeItem(
          index);  // NOLINT(cppcoreguidelines-owning-memory): Qt hands over the item
      list->items.Remove(index);
      return list->count();
    }
    case LB_RESETCONTENT: {
      const QSignalBlocker quiet(list);
      list->clear();
      list->items.Clear();
      return 0;
    }
    case LB_GETCOUNT:
      return count;
    case LB_GETCURSEL:
      return list->selectedItems().isEmpty() ? LB_ERR : list->currentRow();
    case LB_SETCURSEL:
      Select(*list, index >= 0 && index < count ? index : -1);
      return index >= 0 && index < count ? index : LB_ERR;
    case LB_GETSEL:
      if (index < 0 || index >= count) return LB_ERR;
      return list->item(index)->isSelected() ? 1 : 0;
    case LB_GETTEXT: {
      if (index < 0 || index >= count || lParam == 0) return LB_ERR;
      const QString text = list->item(index)->text();
      return CopyTextOut(text, static_cast<WPARAM>(text.size()) + 1, lParam);
    }
    case LB_GETTEXTLEN:
      return index < 0 || index >= count ? LB_ERR : list->item(index)->text().size();
    case LB_FINDSTRING: {
      const int found = list->items.FindPrefix(index, TextFromParam(lParam));
      return found < 0 ? LB_ERR : found;
    }
    case LB_FINDSTRINGEXACT: {
      const int found = list->items.FindExact(index, TextFromParam(lParam));
      return found < 0 ? LB_ERR : found;
    }
    case LB_SELECTSTRING: {
      const int found = list->items.FindPrefix(index, TextFromParam(lParam));
      if (found < 0) return LB_ERR;
      Select(*list, found);
      return found;
    }
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

QWidget* MakeList(WindowRecord& record, const CREATESTRUCTW& /*create*/, QWidget* parent) {
  const HWND handle = record.handle;
  auto* list = new List(parent);  // owned by the parent widget
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setVerticalScrollBarPolicy((record.style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                    : Qt::ScrollBarAlwaysOff);
  if (!HasEdge(record)) list->setFrameStyle(QFrame::NoFrame);
  if ((record.style & LBS_NOTIFY) != 0) {
    QObject::connect(list, &QListWidget::currentRowChanged, list,
                     [handle] { NotifyParent(handle, LBN_SELCHANGE); });
    QObject::connect(list, &QListWidget::itemDoubleClicked, list,
                     [handle] { NotifyParent(handle, LBN_DBLCLK); });
    NotifyFocus(list, handle, LBN_SETFOCUS, LBN_KILLFOCUS);
  }
  return list;
}

}  // namespace

WindowClass ListBoxClass() { return WindowClass{u"LISTBOX", 0, ListProc, nullptr, MakeList}; }

}  // namespace murmel::gui
