// Contrast of the time and percentage display's text against its background, read from
// screenshots of the main window (docs/screenshots by default), as WCAG 2 defines it.
//
//     display_contrast [PNG ...]
//
// Prints one line per screenshot and exits 1 when any is below 4.5 : 1.
#include <QColor>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// The display on the emulated screen: the main window's client area at (0, 26), the
// button panel at (7, 35) in it, the display at (167, 55) in the panel, 36 x 14; pixels
// kept 3 clear of the sunken edge and of a one-pixel window border.
constexpr int kLeft = 0 + 7 + 167 + 3;
constexpr int kTop = 26 + 35 + 55 + 3;
constexpr int kWidth = 36 - 6;
constexpr int kHeight = 14 - 6;

double Luminance(QRgb rgb) {
  const auto channel = [](int value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b) {
  const auto [darker, lighter] = std::minmax({Luminance(a), Luminance(b)});
  return (lighter + 0.05) / (darker + 0.05);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths(argv + 1, argv + argc);
  if (paths.empty()) {
    for (const char* name : {"main-recording", "main-sending", "main-low-colour"}) {
      paths.push_back(MURMELPOST_SOURCE_DIR "/docs/screenshots/" + std::string(name) + ".png");
    }
  }
  double worst = 0;
  for (const std::string& path : paths) {
    const QImage shot(QString::fromStdString(path));
    if (shot.width() < kLeft + kWidth || shot.height() < kTop + kHeight) {
      std::fprintf(stderr, "%s: not a screenshot of the main window\n", path.c_str());
      return 1;
    }
    // Background: the display's commonest colour. Text: the contrast that at least four
    // pixels reach, so that single anti-aliasing pixels do not count.
    std::vector<QRgb> pixels;
    std::map<QRgb, int> counts;
    for (int y = kTop; y < kTop + kHeight; ++y) {
      for (int x = kLeft; x < kLeft + kWidth; ++x) {
        pixels.push_back(shot.pixel(x, y) & RGB_MASK);
        ++counts[pixels.back()];
      }
    }
    const QRgb background =
        std::ranges::max_element(counts, {}, &std::pair<const QRgb, int>::second)->first;
    std::ranges::sort(pixels, std::greater{}, [&](QRgb c) { return Contrast(c, background); });
    const double ratio = Contrast(pixels[3], background);
    std::printf("%s: text #%06x on #%06x: %.2f : 1\n", path.c_str(), pixels[3], background, ratio);
    worst = worst == 0 ? ratio : std::min(worst, ratio);
  }
  return worst >= 4.5 ? 0 : 1;
}
