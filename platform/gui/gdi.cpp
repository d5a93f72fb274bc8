// Device contexts, bitmaps, brushes and the copies between them.
#include <QImage>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/gui/gdi_objects.h"
#include "platform/gui/paint_dc.h"
#include "platform/gui/screen.h"
#include "win/error.h"
#include "win/gui_gdi.h"

namespace murmel::gui {

namespace {

struct Bitmap {
  QImage image;  // always paintable (indexed pictures are converted)
  int depth;     // bits per pixel of the picture as loaded
};
struct Brush {
  QColor color;
};
struct Icon {
  QImage image;
};
using GdiObject = std::variant<Bitmap, Brush, Icon>;

struct DeviceContext {
  QPainter* painter = nullptr;  // a window's painter while it paints; null for memory contexts
  HGDIOBJ selected_bitmap = nullptr;
};

// GDI handles are only used on the GUI thread, but bitmaps are loaded on any.
struct GdiTables {
  std::mutex mutex;
  std::uintptr_t next = 0x100;
  std::map<std::uintptr_t, GdiObject> objects;
  std::map<std::uintptr_t, DeviceContext> contexts;
  std::map<int, std::uintptr_t> stock;

  std::uintptr_t NewHandle() {
    next += 4;
    return next;
  }
};

GdiTables& Tables() {
  static GdiTables tables;
  return tables;
}

template <typename T>
T* Find(HGDIOBJ handle) {
  auto it = Tables().objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == Tables().objects.end() ? nullptr : std::get_if<T>(&it->second);
}

DeviceContext* FindDc(HDC dc) {
  auto it = Tables().contexts.find(reinterpret_cast<std::uintptr_t>(dc));
  return it == Tables().contexts.end() ? nullptr : &it->second;
}

// Runs `draw` with a painter on the context's target.
template <typename Draw>
bool DrawInto(DeviceContext& dc, Draw draw) {
  if (dc.painter != nullptr) {
    draw(*dc.painter);
    return true;
  }
  Bitmap* target = Find<Bitmap>(dc.selected_bitmap);
  if (target == nullptr) return false;
  QPainter painter(&target->image);
  draw(painter);
  return true;
}

}  // namespace

HBITMAP MakeBitmap(QImage image) {
  std::lock_guard lock(Tables().mutex);
  const std::uintptr_t handle = Tables().NewHandle();
  const bool indexed = image.format() == QImage::Format_Indexed8;
  const int depth = indexed ? 8 : image.depth();
  if (indexed) image = image.convertToFormat(QImage::Format_RGB32);
  Tables().objects.emplace(handle, Bitmap{std::move(image), depth});
  return reinterpret_cast<HBITMAP>(handle);
}

HICON MakeIcon(QImage image) {
  std::lock_guard lock(Tables().mutex);
  const std::uintptr_t handle = Tables().NewHandle();
  Tables().objects.emplace(handle, Icon{std::move(image)});
  return reinterpret_cast<HICON>(handle);
}

const QImage* ImageOf(HGDIOBJ object) {
  std::lock_guard lock(Tables().mutex);
  if (const Bitmap* bitmap = Find<Bitmap>(object)) return &bitmap->image;
  if (const Icon* icon = Find<Icon>(object)) return &icon->image;
  return nullptr;
}

HDC MakePaintDc(QPainter& painter) {
  std::lock_guard lock(Tables().mutex);
  const std::uintptr_t handle = Tables().NewHandle();
  Tables().contexts.emplace(handle, DeviceContext{&painter, nullptr});
  return reinterpret_cast<HDC>(handle);
}

void ForgetDc(HDC dc) {
  std::lock_guard lock(Tables().mutex);
  Tables().contexts.erase(reinterpret_cast<std::uintptr_t>(dc));
}

PaintDc::PaintDc(QPainter& painter) : handle_(MakePaintDc(painter)) {}
PaintDc::~PaintDc() { ForgetDc(handle_); }

}  // namespace murmel::gui

using murmel::gui::Tables;

// A window context outside painting draws nowhere; it serves the device's capabilities and
// as the model for memory contexts.
HDC GetDC(HWND /*hWnd*/) {
  std::lock_guard lock(Tables().mutex);
  const std::uintptr_t handle = Tables().NewHandle();
  Tables().contexts.emplace(handle, murmel::gui::DeviceContext{});
  return reinterpret_cast<HDC>(handle);
}

int ReleaseDC(HWND /*hWnd*/, HDC hDC) {
  std::lock_guard lock(Tables().mutex);
  return Tables().contexts.erase(reinterpret_cast<std::uintptr_t>(hDC)) != 0 ? 1 : 0;
}

int GetDeviceCaps(HDC /*hdc*/, int nIndex) {
  // Tests stand in for a palette screen through the environment.
  const char* forced = std::getenv("MURMELPOST_SCREEN_COLORS");
  const int colors = forced != nullptr && *forced != 0 ? std::atoi(forced) : -1;
  switch (nIndex) {
    case NUMCOLORS:
      return colors;
    case BITSPIXEL:
      return colors == -1 ? 24 : (colors <= 2 ? 1 : colors <= 16 ? 4 : 8);
    default:
      return 0;
  }
}

HDC CreateCompatibleDC(HDC /*hdc*/) {
  std::lock_guard lock(Tables().mutex);
  const std::uintptr_t handle = Tables().NewHandle();
  Tables().contexts.emplace(handle, murmel::gui::DeviceContext{});
  return reinterpret_cast<HDC>(handle);
}

BOOL DeleteDC(HDC hdc) {
  std::lock_guard lock(Tables().mutex);
  return Tables().contexts.erase(reinterpret_cast<std::uintptr_t>(hdc)) != 0 ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  std::lock_guard lock(Tables().mutex);
  murmel::gui::DeviceContext* dc = murmel::gui::FindDc(hdc);
  if (dc == nullptr || murmel::gui::Find<murmel::gui::Bitmap>(h) == nullptr) {
    // Brushes are passed to FillRect directly; only bitmaps are selected.
    return nullptr;
  }
  HGDIOBJ previous = dc->selected_bitmap;
  dc->selected_bitmap = h;
  // The platform hands back its default 1 x 1 bitmap for a fresh context; null stands in.
  return previous;
}

BOOL DeleteObject(HGDIOBJ ho) {
  std::lock_guard lock(Tables().mutex);
  const auto key = reinterpret_cast<std::uintptr_t>(ho);
  for (const auto& [index, stock] : Tables().stock) {
    if (stock == key) return TRUE;  // stock objects survive deletion
  }
  return Tables().objects.erase(key) != 0 ? TRUE : FALSE;
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  std::lock_guard lock(Tables().mutex);
  murmel::gui::DeviceContext* target = murmel::gui::FindDc(hdc);
  murmel::gui::DeviceContext* source = murmel::gui::FindDc(hdcSrc);
  if (target == nullptr || source == nullptr || rop != SRCCOPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* bitmap = murmel::gui::Find<murmel::gui::Bitmap>(source->selected_bitmap);
  if (bitmap == nullptr) return FALSE;
  const QImage piece = bitmap->image.copy(x1, y1, cx, cy);
  return murmel::gui::DrawInto(*target, [&](QPainter& painter) { painter.drawImage(x, y, piece); })
             ? TRUE
             : FALSE;
}

HGDIOBJ GetStockObject(int i) {
  if (i != WHITE_BRUSH && i != BLACK_BRUSH) return nullptr;
  std::lock_guard lock(Tables().mutex);
  auto& stock = Tables().stock;
  auto it = stock.find(i);
  if (it == stock.end()) {
    const std::uintptr_t handle = Tables().NewHandle();
    Tables().objects.emplace(
        handle, murmel::gui::Brush{i == WHITE_BRUSH ? QColor(Qt::white) : QColor(Qt::black)});
    it = stock.emplace(i, handle).first;
  }
  return reinterpret_cast<HGDIOBJ>(it->second);
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  if (lprc == nullptr) return 0;
  std::lock_guard lock(Tables().mutex);
  murmel::gui::DeviceContext* dc = murmel::gui::FindDc(hDC);
  const auto* brush = murmel::gui::Find<murmel::gui::Brush>(hbr);
  if (dc == nullptr || brush == nullptr) return 0;
  const QRect area(lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top);
  return murmel::gui::DrawInto(*dc,
                               [&](QPainter& painter) { painter.fillRect(area, brush->color); })
             ? 1
             : 0;
}

int GetObjectW(HGDIOBJ h, int c, LPVOID pv) {
  std::lock_guard lock(Tables().mutex);
  const auto* bitmap = murmel::gui::Find<murmel::gui::Bitmap>(h);
  if (bitmap == nullptr) return 0;
  if (pv == nullptr) return static_cast<int>(sizeof(BITMAP));
  if (c < static_cast<int>(sizeof(BITMAP))) return 0;
  const int depth = bitmap->depth;
  auto* out = static_cast<BITMAP*>(pv);
  *out = BITMAP{0,
                bitmap->image.width(),
                bitmap->image.height(),
                static_cast<LONG>(((bitmap->image.width() * depth + 15) / 16) * 2),
                1,
                static_cast<WORD>(depth),
                nullptr};
  return static_cast<int>(sizeof(BITMAP));
}
