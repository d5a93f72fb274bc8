#include "platform/gui/menu_popup.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <memory>

#include "platform/gui/dialog_manager.h"
#include "platform/gui/screen.h"
#include "win/gui.h"

namespace murmel::gui {

namespace {

constexpr int kRowHeight = 20;
constexpr int kSeparatorHeight = 7;
constexpr int kTextIndent = 14;
constexpr int kMinimumWidth = 60;

QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool Choosable(const MenuItemData& item) {
  return (item.flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR)) == 0 && item.popup == nullptr;
}

class PopupLayer;

// One row; the testing interface finds rows by object name and their "text" property.
class PopupRow : public QWidget {
 public:
  PopupRow(PopupLayer* layer, QWidget* parent, const MenuItemData& item, int index);

  bool separator() const { return separator_; }
  bool highlighted() const { return highlighted_; }
  void SetHighlighted(bool on) {
    highlighted_ = on;
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  PopupLayer* layer_;
  int index_;
  bool separator_;
  bool highlighted_ = false;
};

// Covers the whole screen: a tap outside the frame dismisses the menu, as on the device.
class PopupLayer : public QWidget {
 public:
  PopupLayer(const std::vector<MenuItemData>& items, int x, int y, UINT flags)
      : QWidget(ScreenWidget()) {
    setObjectName(QStringLiteral("popup_menu_layer"));
    setGeometry(0, 0, kScreenWidth, kScreenHeight);
    setFocusPolicy(Qt::StrongFocus);
    frame_ = new QWidget(this);  // owned by the layer, as every row by the frame
    frame_->setObjectName(QStringLiteral("popup_menu"));
    const QFontMetrics metrics(font());
    int width = kMinimumWidth;
    int height = 2;
    for (const MenuItemData& item : items) {
      width = std::max(width, metrics.horizontalAdvance(ToQString(item.text)) + 2 * kTextIndent);
      height += (item.flags & MF_SEPARATOR) != 0 ? kSeparatorHeight : kRowHeight;
    }
    width = std::min(width, kScreenWidth);
    height = std::min(height, kScreenHeight);
    int top = 1;
    for (std::size_t i = 0; i < items.size(); ++i) {
      auto* row = new PopupRow(this, frame_, items[i], static_cast<int>(i));
      const int row_height = row->separator() ? kSeparatorHeight : kRowHeight;
      row->setGeometry(1, top, width - 2, row_height);
      top += row_height;
      rows_.push_back(row);
    }
    frame_->setGeometry(Place(x, y, width, height, flags));
    frame_->setAutoFillBackground(true);
    QPalette palette = frame_->palette();
    palette.setColor(QPalette::Window, Qt::black);  // the 1-pixel border around the rows
    frame_->setPalette(palette);
  }

  bool finished() const { return finished_; }
  int chosen() const { return chosen_; }

  void Finish(int index) {
    if (finished_) return;
    finished_ = true;
    chosen_ = index;
    hide();
  }

  void Highlight(const PopupRow* target) {
    for (PopupRow* row : rows_) row->SetHighlighted(row == target);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (!frame_->geometry().contains(event->position().toPoint())) Finish(-1);
  }

  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Escape:
        Finish(-1);
        break;
      case Qt::Key_Up:
        Step(-1);
        break;
      case Qt::Key_Down:
        Step(1);
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        for (std::size_t i = 0; i < rows_.size(); ++i) {
          if (rows_[i]->highlighted()) Finish(static_cast<int>(i));
        }
        break;
      default:
        break;
    }
  }

 private:
  // Where the frame goes: the alignment flags say which corner (x, y) is; a menu that would
  // leave the screen opens on the other side of the point, then is pushed back onto it.
  static QRect Place(int x, int y, int width, int height, UINT flags) {
    int left = x;
    if ((flags & TPM_RIGHTALIGN) != 0) {
      left = x - width;
    } else if ((flags & TPM_CENTERALIGN) != 0) {
      left = x - width / 2;
    }
    int top = y;
    if ((flags & TPM_BOTTOMALIGN) != 0) {
      top = y - height;
    } else if ((flags & TPM_VCENTERALIGN) != 0) {
      top = y - height / 2;
    }
    if (top + height > kScreenHeight && y - height >= 0) top = y - height;
    if (left < 0 && x + width <= kScreenWidth) left = x;
    left = std::clamp(left, 0, kScreenWidth - width);
    top = std::clamp(top, 0, kScreenHeight - height);
    return QRect(left, top, width, height);
  }

  // Keyboard movement skips rows that cannot be chosen.
  void Step(int direction) {
    const auto count = static_cast<int>(rows_.size());
    int current = -1;
    for (int i = 0; i < count; ++i) {
      if (rows_[static_cast<std::size_t>(i)]->highlighted()) current = i;
    }
    for (int step = 1; step <= count; ++step) {
      const int next = ((current + direction * step) % count + count) % count;
      PopupRow* row = rows_[static_cast<std::size_t>(next)];
      if (row->isEnabled() && !row->separator()) {
        Highlight(row);
        return;
      }
    }
  }

  QWidget* frame_ = nullptr;
  std::vector<PopupRow*> rows_;
  bool finished_ = false;
  int chosen_ = -1;
};

PopupRow::PopupRow(PopupLayer* layer, QWidget* parent, const MenuItemData& item, int index)
    : QWidget(parent), layer_(layer), index_(index), separator_((item.flags & MF_SEPARATOR) != 0) {
  setObjectName(QStringLiteral("popup_menu_item"));
  setProperty("text", ToQString(item.text));
  setProperty("command", static_cast<uint>(item.id));
  // A grayed row takes no clicks: they fall through to the frame and the menu stays open.
  setEnabled(Choosable(item));
  setAutoFillBackground(false);
}

void PopupRow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const bool lit = highlighted_ && isEnabled();
  painter.fillRect(rect(), lit ? QColor(0x10, 0x3C, 0x8C) : QColor(Qt::white));
  if (separator_) {
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawLine(2, height() / 2, width() - 3, height() / 2);
    return;
  }
  painter.setPen(lit           ? QColor(Qt::white)
                 : isEnabled() ? QColor(Qt::black)
                               : QColor(0x80, 0x80, 0x80));
  painter.drawText(rect().adjusted(kTextIndent, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   property("text").toString());
}

void PopupRow::enterEvent(QEnterEvent* /*event*/) {
  if (isEnabled() && !separator_) layer_->Highlight(this);
}

void PopupRow::mouseReleaseEvent(QMouseEvent* event) {
  if (rect().contains(event->position().toPoint())) layer_->Finish(index_);
}

}  // namespace

int RunPopupMenu(const std::vector<MenuItemData>& items, int x, int y, UINT flags) {
  auto layer = std::make_unique<PopupLayer>(items, x, y, flags);
  layer->show();
  layer->raise();
  layer->setFocus(Qt::PopupFocusReason);
  // A quit while the menu is open dismisses it.
  if (!RunModalLoop([&layer] { return layer->finished(); })) layer->Finish(-1);
  return layer->chosen();
}

}  // namespace murmel::gui
