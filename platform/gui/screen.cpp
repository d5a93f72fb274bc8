#include "platform/gui/screen.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QThread>
#include <QToolButton>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "platform/gui/input_panel.h"
#include "platform/gui/window_table.h"
#include "platform/message/thread_queue.h"
#include "win/gui.h"
#include "win/gui_dialog.h"

namespace murmel::gui {

namespace {

constexpr int kVisibleBottom = kScreenHeight - kBarHeight;
std::atomic<bool> input_panel_raised{false};

// The application outlives the screen: members go in reverse order.
struct ScreenParts {
  std::unique_ptr<QApplication> application;
  std::unique_ptr<QWidget> screen;
  QLabel* title = nullptr;
  QWidget* menu_bar = nullptr;
  QWidget* input_panel = nullptr;
  QToolButton* done_button = nullptr;
  HWND done_target = nullptr;
  std::shared_ptr<message::ThreadQueue> gui_queue;
};

ScreenParts& Parts() {
  static ScreenParts parts;
  return parts;
}

// A small keyboard drawn for the input panel button.
QIcon KeyboardIcon() {
  QPixmap pixmap(20, 14);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(Qt::black);
  painter.drawRect(0, 0, 19, 13);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 5; ++col)
      painter.fillRect(2 + col * 3 + (row % 2), 2 + row * 3, 2, 2, Qt::black);
  }
  painter.fillRect(5, 11, 10, 1, Qt::black);
  return QIcon(pixmap);
}

void BuildScreen() {
  ScreenParts& parts = Parts();
  parts.screen = std::make_unique<QWidget>();
  QWidget* screen = parts.screen.get();
  screen->setObjectName(QStringLiteral("screen"));
  screen->setWindowTitle(QStringLiteral("Murmelpost handheld"));
  screen->setFixedSize(kScreenWidth, kScreenHeight);
  screen->setAutoFillBackground(true);
  QPalette palette = screen->palette();
  palette.setColor(QPalette::Window, Qt::white);
  screen->setPalette(palette);

  parts.title = new QLabel(screen);  // children are owned by the screen widget
  parts.title->setObjectName(QStringLiteral("navigation_bar"));
  parts.title->setGeometry(0, 0, kScreenWidth, kBarHeight);
  parts.title->setIndent(6);
  parts.title->setAutoFillBackground(true);
  QPalette bar_palette = parts.title->palette();
  bar_palette.setColor(QPalette::Window, QColor(0x10, 0x3C, 0x8C));
  bar_palette.setColor(QPalette::WindowText, Qt::white);
  parts.title->setPalette(bar_palette);
  QFont title_font = parts.title->font();
  title_font.setBold(true);
  parts.title->setFont(title_font);

  // The Done button of full-screen dialogs, at the right end of the navigation bar.
  parts.done_button = new QToolButton(screen);
  parts.done_button->setObjectName(QStringLiteral("done_button"));
  parts.done_button->setText(QStringLiteral("ok"));
  parts.done_button->setFont(title_font);
  parts.done_button->setFocusPolicy(Qt::NoFocus);
  parts.done_button->setGeometry(kScreenWidth - 34, 3, 30, kBarHeight - 6);
  QObject::connect(parts.done_button, &QToolButton::clicked, parts.done_button, [] {
    const HWND target = Parts().done_target;
    if (IsWindow(target)) SendMessageW(target, WM_COMMAND, IDOK, 0);
  });
  parts.done_button->hide();

  parts.menu_bar = new QWidget(screen);
  parts.menu_bar->setObjectName(QStringLiteral("menu_bar"));
  parts.menu_bar->setGeometry(0, kVisibleBottom, kScreenWidth, kBarHeight);
  parts.menu_bar->setAutoFillBackground(true);
  QPalette menu_palette = parts.menu_bar->palette();
  menu_palette.setColor(QPalette::Window, QColor(0xE4, 0xE4, 0xE4));
  parts.menu_bar->setPalette(menu_palette);
  auto* sip_button = new QToolButton(parts.menu_bar);
  sip_button->setObjectName(QStringLiteral("input_panel_button"));
  sip_button->setIcon(KeyboardIcon());
  sip_button->setFocusPolicy(Qt::NoFocus);
  sip_button->setGeometry(kScreenWidth - 30, 1, 28, kBarHeight - 2);
  QObject::connect(sip_button, &QToolButton::clicked, sip_button,
                   [] { SetInputPanel(!InputPanelRaised()); });
  parts.menu_bar->hide();

  parts.input_panel = MakeInputPanel(screen);
  parts.input_panel->setGeometry(0, kVisibleBottom - kInputPanelHeight, kScreenWidth,
                                 kInputPanelHeight);
  parts.input_panel->hide();
  screen->show();
}

// Sent messages must be served whenever Qt runs its loop, also inside modal loops, and a
// post must wake GetMessageW while it waits in Qt's loop.
void HookMessageQueue() {
  QCoreApplication* app = QCoreApplication::instance();
  Parts().gui_queue = message::CurrentThreadQueue();
  message::CurrentThreadQueue()->SetEventLoop(
      [app] {
        QMetaObject::invokeMethod(
            app, [] { message::CurrentThreadQueue()->ServeSent(); }, Qt::QueuedConnection);
      },
      [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
      });
}

void LoadScreenFont() {
  const int id = QFontDatabase::addApplicationFont(
      QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
  if (id < 0) return;  // the platform's default font then
  QFont font(QFontDatabase::applicationFontFamilies(id).value(0));
  font.setPixelSize(11);
  QApplication::setFont(font);
}

}  // namespace

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "murmelpost";
  static char* argv[] = {name, nullptr};
  Parts().application = std::make_unique<QApplication>(argc, argv);
  LoadScreenFont();
  HookMessageQueue();
  BuildScreen();
  // Widgets torn down by exit handlers meet Qt's per-thread data already gone and crash;
  // the process is ending, so the screen and the application are left to it.
  std::atexit([] {
    ScreenParts& parts = Parts();
    static_cast<void>(parts.screen.release());
    static_cast<void>(parts.application.release());
  });
}

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

QWidget* ScreenWidget() {
  EnsureApplication();
  return Parts().screen.get();
}

QWidget* Desktop() { return ScreenWidget(); }

void SetNavigationTitle(const QString& title) {
  EnsureApplication();
  Parts().title->setText(title);
}

void SetDoneButton(HWND target) {
  EnsureApplication();
  Parts().done_target = target;
  Parts().done_button->setVisible(target != nullptr);
}

std::shared_ptr<message::ThreadQueue> GuiThreadQueue() { return Parts().gui_queue; }

void ShowMenuBar(bool shown) {
  EnsureApplication();
  Parts().menu_bar->setVisible(shown);
  RaiseChrome();
}

void RaiseChrome() {
  ScreenParts& parts = Parts();
  if (!parts.screen) return;
  parts.title->raise();
  parts.done_button->raise();
  parts.menu_bar->raise();
  parts.input_panel->raise();
}

bool InputPanelRaised() { return input_panel_raised.load(); }

void SetInputPanel(bool raised) {
  EnsureApplication();
  input_panel_raised.store(raised);
  Parts().input_panel->setVisible(raised);
  RaiseChrome();
  for (HWND top : TopLevelWindows()) SendMessageW(top, WM_SETTINGCHANGE, 224, 0);
}

RECT VisibleDesktop() {
  return RECT{0, kBarHeight, kScreenWidth,
              InputPanelRaised() ? kVisibleBottom - kInputPanelHeight : kVisibleBottom};
}

RECT InputPanelRect() {
  return RECT{0, kVisibleBottom - kInputPanelHeight, kScreenWidth, kVisibleBottom};
}

}  // namespace murmel::gui
