#include "indexed_image.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <map>

namespace murmel::artwork {
namespace {

struct WeightedColor {
  QRgb rgb;
  int weight;
};

int Channel(QRgb rgb, int channel) {
  switch (channel) {
    case 0:
      return qRed(rgb);
    case 1:
      return qGreen(rgb);
    default:
      return qBlue(rgb);
  }
}

// One box of the median cut: a run of colours, split along its widest channel.
struct Box {
  std::vector<WeightedColor> colors;

  int WidestChannel(int& range) const {
    int best = 0;
    range = -1;
    for (int channel = 0; channel < 3; ++channel) {
      int low = 255;
      int high = 0;
      for (const WeightedColor& c : colors) {
        low = std::min(low, Channel(c.rgb, channel));
        high = std::max(high, Channel(c.rgb, channel));
      }
      if (high - low > range) {
        range = high - low;
        best = channel;
      }
    }
    return best;
  }

  QRgb Average() const {
    std::array<long long, 3> sum{};
    long long total = 0;
    for (const WeightedColor& c : colors) {
      for (int channel = 0; channel < 3; ++channel) {
        sum[channel] += static_cast<long long>(Channel(c.rgb, channel)) * c.weight;
      }
      total += c.weight;
    }
    auto mean = [&](int channel) { return static_cast<int>((sum[channel] + total / 2) / total); };
    return qRgb(mean(0), mean(1), mean(2));
  }
};

void Put16(QByteArray& out, unsigned value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(QByteArray& out, unsigned value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// BITMAPINFOHEADER, a 256-entry colour table and the bottom-up 8-bit rows.
void AppendDib(QByteArray& out, const QImage& indexed, int header_height) {
  const int width = indexed.width();
  const int height = indexed.height();
  const int stride = (width + 3) & ~3;
  Put32(out, 40);
  Put32(out, static_cast<unsigned>(width));
  Put32(out, static_cast<unsigned>(header_height));
  Put16(out, 1);
  Put16(out, 8);
  Put32(out, 0);  // BI_RGB
  Put32(out, static_cast<unsigned>(stride * height));
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 256);
  Put32(out, 0);
  const QVector<QRgb> table = indexed.colorTable();
  for (int i = 0; i < 256; ++i) {
    const QRgb rgb = i < table.size() ? table[i] : qRgb(0, 0, 0);
    out.append(static_cast<char>(qBlue(rgb)));
    out.append(static_cast<char>(qGreen(rgb)));
    out.append(static_cast<char>(qRed(rgb)));
    out.append('\0');
  }
  for (int y = height - 1; y >= 0; --y) {
    const uchar* row = indexed.constScanLine(y);
    out.append(reinterpret_cast<const char*>(row), width);
    out.append(QByteArray(stride - width, '\0'));
  }
}

bool WriteFile(const QByteArray& bytes, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(bytes) == bytes.size();
}

}  // namespace

QVector<QRgb> BuildPalette(const std::vector<QImage>& images, int count) {
  std::map<QRgb, int> histogram;
  for (const QImage& image : images) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
      for (int x = 0; x < rgb.width(); ++x) ++histogram[row[x] | 0xFF000000U];
    }
  }
  std::vector<Box> boxes(1);
  for (const auto& [rgb, weight] : histogram) boxes[0].colors.push_back({rgb, weight});

  // Split the box with the widest spread until there are enough boxes or nothing to split.
  while (static_cast<int>(boxes.size()) < count) {
    int chosen = -1;
    int chosen_range = 0;
    int chosen_channel = 0;
    for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
      if (boxes[i].colors.size() < 2) continue;
      int range = 0;
      const int channel = boxes[i].WidestChannel(range);
      if (range > chosen_range) {
        chosen = i;
        chosen_range = range;
        chosen_channel = channel;
      }
    }
    if (chosen < 0) break;
    std::vector<WeightedColor>& colors = boxes[chosen].colors;
    std::sort(colors.begin(), colors.end(), [&](const WeightedColor& a, const WeightedColor& b) {
      return Channel(a.rgb, chosen_channel) < Channel(b.rgb, chosen_channel);
    });
    long long total = 0;
    for (const WeightedColor& c : colors) total += c.weight;
    long long running = 0;
    std::size_t split = 1;
    for (; split < colors.size() - 1; ++split) {
      running += colors[split - 1].weight;
      if (running * 2 >= total) break;
    }
    Box upper{std::vector<WeightedColor>(colors.begin() + static_cast<long>(split), colors.end())};
    colors.resize(split);
    boxes.push_back(std::move(upper));
  }
  QVector<QRgb> palette;
  for (const Box& box : boxes) palette.append(box.Average());
  return palette;
}

QImage ToIndexed(const QImage& picture, const QVector<QRgb>& palette) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  QImage indexed(rgb.size(), QImage::Format_Indexed8);
  indexed.setColorTable(palette);
  std::map<QRgb, uchar> nearest;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* out = indexed.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      const QRgb pixel = row[x];
      auto found = nearest.find(pixel);
      if (found == nearest.end()) {
        int best = 0;
        int best_distance = std::numeric_limits<int>::max();
        for (int i = 0; i < palette.size(); ++i) {
          const int dr = qRed(pixel) - qRed(palette[i]);
          const int dg = qGreen(pixel) - qGreen(palette[i]);
          const int db = qBlue(pixel) - qBlue(palette[i]);
          // Green weighs most for the eye; the weights keep greys from turning tinted.
          const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
          if (distance < best_distance) {
            best_distance = distance;
            best = i;
          }
        }
        found = nearest.emplace(pixel, static_cast<uchar>(best)).first;
      }
      out[x] = found->second;
    }
  }
  return indexed;
}

bool WriteBmp(const QImage& indexed, const QString& path) {
  QByteArray dib;
  AppendDib(dib, indexed, indexed.height());
  QByteArray file;
  file.append("BM");
  Put32(file, static_cast<unsigned>(14 + dib.size()));
  Put32(file, 0);
  Put32(file, 14 + 40 + 256 * 4);
  file.append(dib);
  return WriteFile(file, path);
}

bool WriteIcon(const std::vector<QImage>& images, const QString& path) {
  QByteArray directory;
  Put16(directory, 0);
  Put16(directory, 1);  // icon
  Put16(directory, static_cast<unsigned>(images.size()));
  QByteArray bodies;
  const int first_offset = 6 + 16 * static_cast<int>(images.size());
  for (const QImage& image : images) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int width = argb.width();
    const int height = argb.height();
    // Transparent pixels are masked out; their colour is black so they add nothing.
    QImage opaque = argb;
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<QRgb*>(opaque.scanLine(y));
      for (int x = 0; x < width; ++x) {
        if (qAlpha(row[x]) < 128) row[x] = qRgb(0, 0, 0);
      }
    }
    QVector<QRgb> palette = BuildPalette({opaque}, 256);
    const QImage indexed = ToIndexed(opaque, palette);

    QByteArray body;
    AppendDib(body, indexed, height * 2);  // colour rows and mask rows
    const int mask_stride = ((width + 31) / 32) * 4;
    for (int y = height - 1; y >= 0; --y) {
      QByteArray mask_row(mask_stride, '\0');
      const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
      for (int x = 0; x < width; ++x) {
        if (qAlpha(row[x]) < 128)
          mask_row[x / 8] = static_cast<char>(mask_row[x / 8] | (0x80 >> (x % 8)));
      }
      body.append(mask_row);
    }
    directory.append(static_cast<char>(width >= 256 ? 0 : width));
    directory.append(static_cast<char>(height >= 256 ? 0 : height));
    directory.append('\0');  // 256 colours
    directory.append('\0');
    Put16(directory, 1);
    Put16(directory, 8);
    Put32(directory, static_cast<unsigned>(body.size()));
    Put32(directory, static_cast<unsigned>(first_offset + bodies.size()));
    bodies.append(body);
  }
  return WriteFile(directory + bodies, path);
}

}  // namespace murmel::artwork
