// Draws every bitmap of the client and its icon, and writes them as the 8-bit files that
// the build compiles in:
//   draw_bitmaps OUTPUT_DIR [--sheet SHEET.png]
// The file names start with the resource id; the build takes the ids from them.
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <cstdio>
#include <functional>
#include <vector>

#include "artwork.h"
#include "contact_sheet.h"
#include "indexed_image.h"
#include "resources/resource_ids.h"

namespace {

using murmel::artwork::ButtonState;
using murmel::artwork::CornerGlyph;
using murmel::artwork::Look;
using murmel::artwork::PanelGlyph;
namespace art = murmel::artwork;

struct Picture {
  int id;
  const char* name;
  QImage image;
};

// The sizes the client's layout is built around; the low-colour screens' panel and labels
// are one pixel smaller each way.
struct SetSizes {
  QSize panel;
  QSize labels;
};
constexpr QSize kLogoSize(73, 25);
constexpr QSize kTileSize(23, 23);
constexpr SetSizes kNormalSizes{QSize(227, 75), QSize(56, 33)};
constexpr SetSizes kLowColorSizes{QSize(226, 74), QSize(55, 32)};

std::vector<Picture> DrawSet(Look look) {
  const SetSizes& sizes = look == Look::Normal ? kNormalSizes : kLowColorSizes;
  const int offset = look == Look::Normal ? 0 : IDB_LOW_COLOR_OFFSET;
  auto button = [&](PanelGlyph glyph, ButtonState state) {
    return art::PanelButton(look, sizes.panel, glyph, state);
  };
  std::vector<Picture> set = {
      {IDB_LOGO, "logo", art::Logo(look, kLogoSize)},
      {IDB_BUTTON_PANEL, "button-panel", art::ButtonPanel(look, sizes.panel)},
      {IDB_RECORD_NORMAL, "record", button(PanelGlyph::Record, ButtonState::Normal)},
      {IDB_RECORD_PRESSED, "record-pressed", button(PanelGlyph::Record, ButtonState::Pressed)},
      {IDB_RECORD_DISABLED, "record-disabled", button(PanelGlyph::Record, ButtonState::Disabled)},
      {IDB_STOP_NORMAL, "stop", button(PanelGlyph::Stop, ButtonState::Normal)},
      {IDB_STOP_PRESSED, "stop-pressed", button(PanelGlyph::Stop, ButtonState::Pressed)},
      {IDB_PLAY_NORMAL, "play", button(PanelGlyph::Play, ButtonState::Normal)},
      {IDB_PLAY_PRESSED, "play-pressed", button(PanelGlyph::Play, ButtonState::Pressed)},
      {IDB_PLAY_DISABLED, "play-disabled", button(PanelGlyph::Play, ButtonState::Disabled)},
      {IDB_SEND_NORMAL, "send", button(PanelGlyph::Send, ButtonState::Normal)},
      {IDB_SEND_PRESSED, "send-pressed", button(PanelGlyph::Send, ButtonState::Pressed)},
      {IDB_SEND_DISABLED, "send-disabled", button(PanelGlyph::Send, ButtonState::Disabled)},
      {IDB_OPTION_NORMAL, "option",
       art::CornerButton(look, art::kOptionAt, CornerGlyph::Tool, ButtonState::Normal)},
      {IDB_OPTION_PRESSED, "option-pressed",
       art::CornerButton(look, art::kOptionAt, CornerGlyph::Tool, ButtonState::Pressed)},
      {IDB_HELP_NORMAL, "help",
       art::CornerButton(look, art::kHelpAt, CornerGlyph::Help, ButtonState::Normal)},
      {IDB_HELP_PRESSED, "help-pressed",
       art::CornerButton(look, art::kHelpAt, CornerGlyph::Help, ButtonState::Pressed)},
      {IDB_FIELD_LABELS, "field-labels", art::FieldLabels(look, sizes.labels)},
  };
  // The background tile exists in the normal set only: low-colour screens are painted white.
  if (look == Look::Normal) {
    set.insert(set.begin(),
               {IDB_BACKGROUND_TILE, "background-tile", art::BackgroundTile(kTileSize)});
  }
  for (Picture& picture : set) picture.id += offset;
  return set;
}

QString FileName(const QDir& dir, int id, const char* name, const char* extension) {
  return dir.filePath(
      QStringLiteral("%1-%2.%3").arg(id).arg(QLatin1String(name), QLatin1String(extension)));
}

bool WriteSet(const std::vector<Picture>& set, const QVector<QRgb>& palette, const QDir& dir) {
  for (const Picture& picture : set) {
    if (!art::WriteBmp(art::ToIndexed(picture.image, palette),
                       FileName(dir, picture.id, picture.name, "bmp"))) {
      std::fprintf(stderr, "draw_bitmaps: cannot write bitmap %d\n", picture.id);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  QString sheet, icons;
  for (qsizetype i = 2; i + 1 < args.size(); i += 2) {
    (args[i] == QLatin1String("--sheet") ? sheet : icons) = args[i + 1];
  }
  if (args.size() < 2 || args.size() % 2 != 0 ||
      (args.size() > 2 && sheet.isEmpty() && icons.isEmpty())) {
    std::fprintf(stderr, "usage: draw_bitmaps OUTPUT_DIR [--sheet SHEET.png] [--icons DIR]\n");
    return 2;
  }
  // Fonts are loaded from their files so that the pictures do not depend on font config.
  for (const char* font : {"DejaVuSansCondensed-Bold.ttf", "DejaVuSans.ttf"}) {
    if (QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/dejavu/") +
                                          font) < 0) {
      std::fprintf(stderr, "draw_bitmaps: font %s missing (fonts-dejavu-core)\n", font);
      return 1;
    }
  }
  QDir dir(args[1]);
  if (!dir.mkpath(QStringLiteral("."))) return 1;
  for (const QString& old : dir.entryList({"*.bmp", "*.ico"}, QDir::Files)) dir.remove(old);

  const std::vector<Picture> normal = DrawSet(Look::Normal);
  std::vector<QImage> normal_images;
  normal_images.reserve(normal.size());
  for (const Picture& picture : normal) normal_images.push_back(picture.image);
  const std::vector<Picture> low_color = DrawSet(Look::LowColor);
  if (!WriteSet(normal, art::BuildPalette(normal_images, 256), dir) ||
      !WriteSet(low_color, art::LowColorPalette(), dir)) {
    return 1;
  }
  if (!art::WriteIcon({art::AppIcon(32), art::AppIcon(16)}, FileName(dir, IDI_APP, "app", "ico"))) {
    std::fprintf(stderr, "draw_bitmaps: cannot write the icon\n");
    return 1;
  }
  // The desktop's copies of the same icon, drawn at each size of the icon theme.
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(icons).arg(size);
    if (!icons.isEmpty() &&
        (!QDir().mkpath(folder) ||
         !art::AppIcon(size).save(folder + QStringLiteral("/murmelpost.png")))) {
      std::fprintf(stderr, "draw_bitmaps: cannot write the %dpx icon\n", size);
      return 1;
    }
  }
  if (!sheet.isEmpty() && !art::WriteContactSheet(dir, sheet)) {
    std::fprintf(stderr, "draw_bitmaps: cannot write the sheet\n");
    return 1;
  }
  return 0;
}
