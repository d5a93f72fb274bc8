// The Option and Help pop-ups of the running client and what their items do, chosen with
// clicks as a user would.
#include <QTimer>
#include <Qt>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <aygshell.h>
#include <commdlg.h>

#include "platform/gui/testing/testing_shell.h"
#include "resources/home_page.h"
#include "shell/menu_commands.h"
#include "shell/running_client.h"
#include "support/fake_transfer_server.h"
#include "transfer/server_connection.h"
#include "userdata/input_panel.h"

namespace shell_test {
namespace {

using murmel::test::FakeTransferServer;
namespace ui = murmel::testing;

using murmel::test::Widen;

const std::string kHomePage(HOME_PAGE_URL,
                            HOME_PAGE_URL + std::char_traits<char16_t>::length(HOME_PAGE_URL));

// Runs `step` once a window with that caption is the active one (a modal dialog has opened
// and runs its loop).
void WhenActive(std::u16string caption, std::function<void(HWND)> step) {
  QTimer::singleShot(5, [caption = std::move(caption), step = std::move(step)]() mutable {
    const HWND active = GetActiveWindow();
    if (active != nullptr && WindowText(active) == caption) {
      step(active);
    } else {
      WhenActive(std::move(caption), std::move(step));
    }
  });
}

// After the greeting a registration sends LOCL, SEND, RECI and TITL.
constexpr std::size_t kPictureEnvelope = 4;

// Accepts one connection's greeting and the next `frames` frames, recording them all.
void AcceptFrames(FakeTransferServer& server, std::size_t frames) {
  server.AcceptGreeting();
  for (std::size_t i = 0; i < frames; ++i) server.Reply("TROK");
  server.Start();
  SetServerEndpoint(u"127.0.0.1", server.port());
}

class MenuCommandsTest : public RunningClientTest {
 protected:
  void TearDown() override {
    ui::AnswerFileDialogs(std::nullopt);
    ui::RestoreBrowser();
    PumpUntil([] { return appState.customPictureThread.load() == nullptr; });
    SetServerEndpoint(nullptr, 0);
  }

  // Clicks the item while the button's pop-up is on the screen; then the chosen command is
  // dispatched.
  static void Choose(int button, const char16_t* item) {
    QTimer::singleShot(0, [item] { EXPECT_TRUE(ui::ClickPopupMenuItem(item)); });
    ui::Click(MainControl(button));
    PumpPending();
  }
};

TEST_F(MenuCommandsTest, AttachThenClearGraysTheItemAndNoKeepsBoth) {
  const std::string file = SuiteFolder() / "holiday photo.jpg";
  murmel::test::WriteHostFile(file, std::string(10, 'p'));
  appState.attachmentPath = u"/earlier/choice.txt";
  ui::AnswerFileDialogs(file);
  Choose(IDC_OPTION, u"Attach File or Picture to Message...");

  const auto asked = ui::FileDialogsAsked();
  ASSERT_EQ(asked.size(), 1U);
  EXPECT_EQ(asked[0].owner, appState.mainWindow);
  EXPECT_EQ(asked[0].filter_patterns, (std::vector<std::u16string>{u"*.*", u"*.gif;*.jpg;*.jpeg"}));
  EXPECT_EQ(asked[0].initial_file, u"/earlier/choice.txt");
  EXPECT_NE(asked[0].flags & OFN_FILEMUSTEXIST, 0U);
  EXPECT_EQ(std::u16string(appState.attachmentPath), Widen(file));
  EXPECT_EQ(std::u16string(appState.attachmentName), u"holiday photo.jpg");
  EXPECT_FALSE(ClearAttachmentItemGrayed());

  ui::AnswerMessageBoxes(IDNO);
  Choose(IDC_OPTION, u"Clear Attached File or Picture");
  ExpectOneBox(u"Do you want to clear below attached file?\n" + Widen(file), u"Clear Attached File",
               MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(std::u16string(appState.attachmentPath), Widen(file));
  EXPECT_FALSE(ClearAttachmentItemGrayed());

  ui::AnswerMessageBoxes(IDYES);
  Choose(IDC_OPTION, u"Clear Attached File or Picture");
  EXPECT_TRUE(appState.attachmentPath.empty());
  EXPECT_EQ(std::u16string(appState.attachmentName), u"holiday photo.jpg");
  EXPECT_TRUE(ClearAttachmentItemGrayed());
}

// Registrations reach the transfer server on their own thread, after the message.
TEST_F(MenuCommandsTest, CustomPictureUpToExactly100KIsRegisteredAndOneByteMoreIsRefused) {
  const std::string accepted = SuiteFolder() / "exact.jpg";
  const std::string refused = SuiteFolder() / "too big.jpg";
  murmel::test::WriteHostFile(accepted, std::string(102400, 'p'));
  murmel::test::WriteHostFile(refused, std::string(102401, 'p'));

  FakeTransferServer server;
  AcceptFrames(server, kPictureEnvelope + 2 + 100 + 1);

  ui::AnswerFileDialogs(refused);
  Choose(IDC_OPTION, u"Custom Message Picture...");
  ExpectOneBox(LoadText(IDS_CUSTOM_PICTURE_TOO_BIG), u"Murmelpost", MB_OK | MB_ICONSTOP);
  EXPECT_EQ(appState.customPictureThread.load(), nullptr);
  EXPECT_EQ(std::u16string(appState.customPicturePath), Widen(refused));

  ui::ForgetMessageBoxesShown();
  ui::AnswerFileDialogs(accepted);
  Choose(IDC_OPTION, u"Custom Message Picture...");
  EXPECT_EQ(ui::FileDialogsAsked().back().filter_patterns,
            std::vector<std::u16string>{u"*.gif;*.jpg;*.jpeg"});
  ExpectOneBox(LoadText(IDS_CUSTOM_PICTURE_VERIFY), u"Murmelpost", MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ(appState.customPictureMode, PICTURE_REGISTER);
  ASSERT_TRUE(PumpUntil([] { return appState.customPictureThread.load() == nullptr; }));

  // The refused picture never connected; the accepted one went up whole.
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(server.connections(), 1);
  const std::vector<std::string> sent = server.payloads();
  ASSERT_EQ(sent.size(), 1 + kPictureEnvelope + 2 + 100 + 1);
  EXPECT_EQ(sent[1 + kPictureEnvelope], "FLSZ102400");
  EXPECT_EQ(sent.back(), "FINI");
}

TEST_F(MenuCommandsTest, ClearCustomPictureAsksAndRegistersTheRandomPictureOnYes) {
  FakeTransferServer server;
  AcceptFrames(server, kPictureEnvelope + 3);
  appState.customPictureMode = PICTURE_REGISTER;

  ui::AnswerMessageBoxes(IDNO);
  Choose(IDC_OPTION, u"Clear Custom Message Picture");
  ExpectOneBox(LoadText(IDS_CLEAR_CUSTOM_PICTURE_QUESTION), u"Clear Custom Image",
               MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(appState.customPictureMode, PICTURE_REGISTER);
  EXPECT_EQ(appState.customPictureThread.load(), nullptr);

  ui::AnswerMessageBoxes(IDYES);
  Choose(IDC_OPTION, u"Clear Custom Message Picture");
  EXPECT_EQ(appState.customPictureMode, PICTURE_CLEAR);
  ASSERT_TRUE(PumpUntil([] { return appState.customPictureThread.load() == nullptr; }));
  ASSERT_TRUE(server.Finish());
  const std::vector<std::string> sent = server.payloads();
  ASSERT_EQ(sent.size(), 1 + kPictureEnvelope + 3);
  EXPECT_EQ(sent[1 + kPictureEnvelope], "FLSZ0");  // no picture: the random one

  // A thread that fails at once must still find its handle stored, or the field keeps a
  // handle to a finished thread. Nothing listens on port 1, so each connection is refused.
  SetServerEndpoint(u"127.0.0.1", 1);
  for (int i = 0; i < 100; ++i) {
    OnCommand(appState.mainWindow, IDM_CLEAR_CUSTOM_PICTURE, nullptr, 0);
    for (int wait = 0; wait < 1000 && appState.customPictureThread.load() != nullptr; ++wait) {
      Sleep(2);
    }
    ASSERT_EQ(appState.customPictureThread.load(), nullptr) << "after failure " << i;
  }
}

TEST_F(MenuCommandsTest, EveryHelpCommandOpensItsPageAndNoBrowserShowsString15) {
  const std::pair<const char16_t*, const char*> pages[] = {
      {u"Murmelpost Quick Tutorial", "/help/helpquick/"},
      {u"Murmelpost For CE Tutorial", "/alpha/ce.html"},
      {u"Trouble Recording", "/help/help1/"},
      {u"Trouble Playing Back Before Sending", "/help/help2/"},
      {u"Trouble Sending", "/help/help3/"},
      {u"Trouble Address Book", "/help/help4/"},
      {u"Murmelpost Homepage", "/"},
  };
  for (const auto& [item, path] : pages) {
    ui::ReplaceBrowser(true);
    Choose(IDC_HELP, item);
    EXPECT_EQ(ui::OpenedAddresses(), std::vector<std::string>{kHomePage + path});
  }
  EXPECT_TRUE(ui::MessageBoxesShown().empty());

  ui::ReplaceBrowser(false);
  Choose(IDC_HELP, u"Trouble Sending");
  ExpectOneBox(u"Not installed Pocket Explore", u"Murmelpost", MB_OK | MB_ICONSTOP);
  EXPECT_TRUE(ui::OpenedAddresses().empty());
}

// The address book's file is rewritten after OK even without a change, never after Cancel.
TEST_F(MenuCommandsTest, AddressBookOkRewritesTheFileAndCancelLeavesIt) {
  const std::string book = DeviceWindowsFolder() + "/CEVireoRec.arr";
  for (const int answer : {IDCANCEL, IDOK}) {  // Escape, or the Done button
    SCOPED_TRACE(answer);
    const std::u16string before = ReadUtf16File(book);
    ASSERT_FALSE(before.empty());
    std::filesystem::remove(book);
    ShowInputPanel();
    WhenActive(u"Manage Address Book", [answer](HWND dialog) {
      if (answer == IDOK) {
        ui::Click(ui::ScreenPart("done_button"));
      } else {
        const HWND focus = GetFocus();
        ui::Key(focus != nullptr ? focus : dialog, Qt::Key_Escape);
      }
    });
    Choose(IDC_OPTION, u"Manage Murmelpost Address Book...");
    EXPECT_EQ(std::filesystem::exists(book), answer == IDOK);
    if (answer == IDOK) {
      EXPECT_EQ(ReadUtf16File(book), before);
    } else {
      WriteUtf16File(book, before);
    }
    SIPINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
    EXPECT_EQ(info.fdwFlags & SIPF_ON, 0U);
  }
}

}  // namespace
}  // namespace shell_test
