#include <windows.h>

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "platform/message/window_registry.h"

namespace {

using murmel::message::CreateWindowRecord;
using murmel::message::DestroyWindowRecord;

// Drains whatever is already queued for this thread so each test starts empty.
void DrainQueue() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

bool NoMessagePending() {
  MSG msg;
  return !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

class MessageQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { DrainQueue(); }
  void TearDown() override {
    DestroyWindowRecord(window);
    DrainQueue();
  }
  const HWND window = CreateWindowRecord();
};

TEST_F(MessageQueueTest, MessagesFromManyThreadsKeepEachSendersOrder) {
  constexpr int kSenders = 4;
  constexpr int kPerSender = 2000;
  std::vector<std::thread> senders;
  senders.reserve(kSenders);
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([this, s] {
      for (int i = 0; i < kPerSender; ++i) PostMessageW(window, WM_USER + s, i, 0);
    });
  }
  std::vector<int> next(kSenders, 0);
  MSG msg;
  for (int received = 0; received < kSenders * kPerSender; ++received) {
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    ASSERT_EQ(msg.hwnd, window);
    const auto sender = static_cast<std::size_t>(msg.message - WM_USER);
    ASSERT_LT(sender, next.size());
    ASSERT_EQ(static_cast<int>(msg.wParam), next[sender]) << "sender " << sender;
    ++next[sender];
  }
  for (std::thread& t : senders) t.join();
  EXPECT_TRUE(NoMessagePending());
}

TEST_F(MessageQueueTest, QuitComesAfterEveryPostedMessageAndCarriesTheExitCode) {
  PostMessageW(window, WM_USER, 1, 0);
  PostQuitMessage(42);
  PostMessageW(window, WM_USER, 2, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 1u) << "a peek leaves the message";
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.wParam, 1u);
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT)) << "a peek leaves the quit too";
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 42u);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_TRUE(NoMessagePending()) << "the quit is retrieved once only";
}

TEST_F(MessageQueueTest, DestroyedOrStaleWindowsRefusePostsWithInvalidWindowHandle) {
  ASSERT_TRUE(IsWindow(window));
  ASSERT_TRUE(DestroyWindowRecord(window));
  EXPECT_FALSE(DestroyWindowRecord(window));
  EXPECT_FALSE(IsWindow(window));
  // The slot comes back under a new handle; the old one stays dead.
  const HWND reused = CreateWindowRecord();
  EXPECT_NE(reused, window);
  const HWND bogus = reinterpret_cast<HWND>(0x7777);
  for (HWND dead : {window, bogus}) {
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(dead, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    MSG msg;
    SetLastError(0);
    EXPECT_EQ(GetMessageW(&msg, dead, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  }
  EXPECT_TRUE(PostMessageW(reused, WM_USER, 0, 0));
  DestroyWindowRecord(reused);
}

// The owner waits in GetMessage before anything is posted, as the transfer threads do.
TEST_F(MessageQueueTest, PostsWakeTheOwningThreadAndItsWindowsEndWithIt) {
  std::promise<HWND> created;
  std::promise<MSG> received;
  std::thread owner([&] {
    created.set_value(CreateWindowRecord());
    MSG msg;
    GetMessageW(&msg, nullptr, 0, 0);
    received.set_value(msg);
  });
  const HWND owned = created.get_future().get();
  ASSERT_TRUE(PostMessageW(owned, WM_USER + 9, 11, 22));
  const MSG got = received.get_future().get();
  EXPECT_EQ(got.message, static_cast<UINT>(WM_USER + 9));
  EXPECT_EQ(got.hwnd, owned);
  EXPECT_EQ(got.wParam, 11u);
  EXPECT_EQ(got.lParam, 22);
  EXPECT_TRUE(NoMessagePending()) << "posted to the wrong thread";
  owner.join();
  EXPECT_FALSE(IsWindow(owned));
  EXPECT_FALSE(PostMessageW(owned, WM_USER, 0, 0));
}

}  // namespace
