#include <QBuffer>
#include <QImage>
#include <QWidget>

#include "gui_test_support.h"

namespace gui_test {
namespace {

constexpr WORD kTileBitmap = 111;
constexpr WORD kButtonBitmap = 119;
constexpr WORD kTitleString = 6;
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// An 8-bit BMP as the resource script writes them: left half red, right half blue.
QByteArray EightBitBmp(int width, int height) {
  QImage image(width, height, QImage::Format_Indexed8);
  image.setColorTable({kRed.rgb(), kBlue.rgb()});
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, x < width / 2 ? 0 : 1);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes;
}

class GdiTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    static const QByteArray tile = EightBitBmp(23, 23);
    static const QByteArray button = EightBitBmp(43, 43);
    static const MURMEL_RESOURCE table[] = {
        {RT_STRING, kTitleString, u"Murmelpost Voice Email", 0},
        {RT_BITMAP, kTileBitmap, tile.constData(), static_cast<DWORD>(tile.size())},
        {RT_BITMAP, kButtonBitmap, button.constData(), static_cast<DWORD>(button.size())},
    };
    static const bool registered = (RegisterResourceTable(table, std::size(table)), true);
    ASSERT_TRUE(registered);
  }

  static QImage Shown(HWND window) { return murmel::testing::WidgetOf(window)->grab().toImage(); }
};

// Strings are copied, cut to the buffer, and read empty when missing; bitmaps keep their
// size and depth.
TEST_F(GdiTest, StringAndBitmapResourcesLoad) {
  WCHAR text[64];
  EXPECT_EQ(LoadStringW(nullptr, kTitleString, text, 64), 22);
  EXPECT_EQ(std::u16string(text), u"Murmelpost Voice Email");
  EXPECT_EQ(LoadStringW(nullptr, kTitleString, text, 6), 5);
  EXPECT_EQ(std::u16string(text), u"Murme");
  EXPECT_EQ(LoadStringW(nullptr, 999, text, 64), 0);
  EXPECT_EQ(text[0], 0);

  const HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(kButtonBitmap));
  BITMAP info{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof(info), &info), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ((std::array{info.bmWidth, info.bmHeight, LONG{info.bmBitsPixel}}),
            (std::array<LONG, 3>{43, 43, 8}));
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(4242)), nullptr);
}

// Erases like the client's main window: tiles the top-left 16 x 16 of bitmap 111.
LRESULT TilingProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg != WM_ERASEBKGND) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  const HDC target = reinterpret_cast<HDC>(wParam);
  const HDC memory = CreateCompatibleDC(target);
  const HBITMAP tile = LoadBitmapW(nullptr, MAKEINTRESOURCEW(kTileBitmap));
  const HGDIOBJ previous = SelectObject(memory, tile);
  for (int x = 0; x <= 240; x += 16) {
    for (int y = 0; y <= 320; y += 16) BitBlt(target, x, y, 16, 16, memory, 0, 0, SRCCOPY);
  }
  SelectObject(memory, previous);
  DeleteObject(tile);
  DeleteDC(memory);
  return 1;
}

TEST_F(GdiTest, EraseBackgroundDrawsBitmapCopiesIntoTheWindow) {
  const HWND window = TopLevelWith(u"GdiTestTiled", TilingProc);
  const QImage picture = Shown(window);
  // Each 16-pixel tile shows columns 0..15 of the 23-pixel bitmap: 0..10 red, 11..15 blue.
  for (const int x : {0, 10, 16 + 1}) EXPECT_EQ(picture.pixelColor(x, 5), kRed) << x;
  for (const int x : {12, 16 + 15}) EXPECT_EQ(picture.pixelColor(x, 30), kBlue) << x;
  DestroyWindow(window);
}

TEST_F(GdiTest, CopiesBetweenMemoryContextsAndFillsWithStockBrushes) {
  const HDC screen = GetDC(nullptr);
  const HDC source = CreateCompatibleDC(screen);
  const HDC target = CreateCompatibleDC(screen);
  const HBITMAP canvas = LoadBitmapW(nullptr, MAKEINTRESOURCEW(kButtonBitmap));
  SelectObject(source, LoadBitmapW(nullptr, MAKEINTRESOURCEW(kButtonBitmap)));
  EXPECT_EQ(SelectObject(target, canvas), nullptr);
  RECT all{0, 0, 43, 43};
  const auto white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(FillRect(target, &all, white), 1);
  EXPECT_TRUE(BitBlt(target, 0, 0, 10, 10, source, 30, 30, SRCCOPY));  // a blue corner

  const HWND picture = Child(u"STATIC", SS_BITMAP | SS_CENTERIMAGE, 0, 0, 0, 43, 43);
  EXPECT_EQ(SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(canvas)), 0);
  EXPECT_EQ(Shown(picture).pixelColor(5, 5), kBlue);
  EXPECT_EQ(Shown(picture).pixelColor(20, 20), QColor(Qt::white));
  const HWND label = Child(u"STATIC", SS_CENTER, 0, 50, 0, 36, 14, u"0.0s");
  EXPECT_EQ(Shown(label).pixelColor(1, 1), QColor(Qt::white));  // text statics are light
  EXPECT_EQ(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0),
            reinterpret_cast<LRESULT>(canvas));
  EXPECT_TRUE(DeleteObject(white));  // stock objects survive
  EXPECT_EQ(FillRect(target, &all, white), 1);
  DeleteDC(source);
  DeleteDC(target);
  ReleaseDC(nullptr, screen);
}

}  // namespace
}  // namespace gui_test
