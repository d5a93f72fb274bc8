#include "contact_sheet.h"

#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <map>
#include <vector>

#include "artwork.h"
#include "resources/resource_ids.h"

namespace murmel::artwork {
namespace {

constexpr int kScale = 3;
constexpr int kGap = 16;
constexpr int kCaption = 14;
constexpr int kSheetWidth = 2 * 240 * kScale + 3 * kGap;
constexpr int kPreviewHeight = 200;
const QColor kSheetGrey(0x5A, 0x5F, 0x66);

using Files = std::map<int, std::pair<QString, QImage>>;

// Every image of an icon file side by side, on the sheet's own grey.
QImage IconImages(const QString& path) {
  QImageReader reader(path);
  std::vector<QImage> images;
  for (int i = 0; i < reader.imageCount(); ++i) {
    if (!reader.jumpToImage(i)) return {};
    images.push_back(reader.read());
    if (images.back().isNull()) return {};
  }
  int width = 0;
  int height = 0;
  for (const QImage& image : images) {
    width += image.width() + 4;
    height = std::max(height, image.height());
  }
  QImage strip(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  strip.fill(kSheetGrey);
  QPainter painter(&strip);
  int x = 0;
  for (const QImage& image : images) {
    painter.drawImage(x, 0, image);
    x += image.width() + 4;
  }
  return strip;
}

Files ReadFiles(const QDir& dir) {
  Files files;
  for (const QString& name : dir.entryList({"*.bmp", "*.ico"}, QDir::Files, QDir::Name)) {
    const QString path = dir.filePath(name);
    files[name.section('-', 0, 0).toInt()] = {
        name, name.endsWith(QLatin1String(".ico")) ? IconImages(path) : QImage(path)};
  }
  return files;
}

// The top of the main window as the client lays it out, drawn from the files alone.
QImage Preview(const Files& files, int offset) {
  QImage window(240, kPreviewHeight, QImage::Format_RGB32);
  window.fill(Qt::white);
  QPainter painter(&window);
  auto image = [&](int id) {
    const auto found = files.find(id + offset);
    return found == files.end() ? QImage() : found->second.second;
  };
  if (offset == 0) {
    const QImage tile = image(IDB_BACKGROUND_TILE).copy(0, 0, kTileStep, kTileStep);
    for (int x = 0; x <= 240; x += kTileStep) {
      for (int y = 0; y <= kPreviewHeight; y += kTileStep) painter.drawImage(x, y, tile);
    }
  }
  painter.drawImage(kLogoAt, image(IDB_LOGO));
  painter.drawImage(kOptionAt, image(IDB_OPTION_NORMAL));
  painter.drawImage(kHelpAt, image(IDB_HELP_PRESSED));
  painter.drawImage(kPanelAt, image(IDB_BUTTON_PANEL));
  // One button in each state, so that every kind of picture meets the panel once.
  const int buttons[4] = {IDB_RECORD_NORMAL, IDB_STOP_PRESSED, IDB_PLAY_DISABLED, IDB_SEND_NORMAL};
  for (int i = 0; i < 4; ++i) {
    painter.drawImage(kPanelAt + QPoint(kPanelButtonX[i], kPanelButtonY), image(buttons[i]));
  }
  painter.drawImage(kLabelsAt, image(IDB_FIELD_LABELS));
  // Stand-ins for the platform's controls at their places.
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.setBrush(Qt::white);
  painter.drawRect(kPanelAt.x() + 15, kPanelAt.y() + 60, 141, 7);
  painter.drawRect(kPanelAt.x() + 167, kPanelAt.y() + 55, 35, 13);
  painter.drawRect(70, 114, 159, 19);
  painter.drawRect(70, 136, 159, 19);
  painter.drawRect(10, 158, 219, kPreviewHeight);
  painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 7));
  painter.setPen(Qt::black);
  painter.drawText(QRect(kPanelAt.x() + 167, kPanelAt.y() + 55, 36, 14), Qt::AlignCenter, "0.0s");
  painter.fillRect(kPanelAt.x() + 16, kPanelAt.y() + 61, 60, 6, QColor(0x2E, 0x6D, 0xB4));
  return window;
}

// Lays the set's pictures out in rows across one column of the sheet.
int DrawFlow(QPainter& painter, const Files& files, bool low_color, int x0, int y0) {
  const int width = 240 * kScale;
  int x = x0;
  int y = y0;
  int row_height = 0;
  for (const auto& [id, file] : files) {
    const bool in_low_set = id > IDB_LOW_COLOR_OFFSET + IDI_APP;
    if (in_low_set != low_color) continue;
    const QImage& image = file.second;
    const int cell = std::max(image.width() * kScale, 130);
    if (x + cell > x0 + width) {
      x = x0;
      y += row_height + kGap;
      row_height = 0;
    }
    painter.setPen(Qt::white);
    painter.drawText(x, y + 10,
                     QStringLiteral("%1 (%2x%3)")
                         .arg(file.first.section('.', 0, 0))
                         .arg(image.width())
                         .arg(image.height()));
    painter.drawImage(QRect(x, y + kCaption, image.width() * kScale, image.height() * kScale),
                      image);
    row_height = std::max(row_height, image.height() * kScale + kCaption);
    x += cell + kGap;
  }
  return y + row_height;
}

}  // namespace

bool WriteContactSheet(const QDir& dir, const QString& path) {
  const Files files = ReadFiles(dir);
  for (const auto& entry : files) {
    if (entry.second.second.isNull()) return false;
  }
  QImage sheet(kSheetWidth, 2000, QImage::Format_RGB32);
  sheet.fill(kSheetGrey);
  QPainter painter(&sheet);
  painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
  int bottom = 0;
  for (int column = 0; column < 2; ++column) {
    const int x = kGap + column * (240 * kScale + kGap);
    const QImage preview = Preview(files, column == 0 ? 0 : IDB_LOW_COLOR_OFFSET);
    painter.drawImage(QRect(x, kGap, 240 * kScale, kPreviewHeight * kScale), preview);
    bottom = std::max(bottom,
                      DrawFlow(painter, files, column == 1, x, 2 * kGap + kPreviewHeight * kScale));
  }
  painter.end();
  return sheet.copy(0, 0, kSheetWidth, bottom + kGap).save(path, "PNG");
}

}  // namespace murmel::artwork
