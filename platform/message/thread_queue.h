// The message queues of one thread. Any thread may post or send; only the owning thread
// retrieves posted messages and serves sent ones. Sent messages have a queue of their own,
// served before any posted message, so that a blocked sender is answered first.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "win/message.h"

namespace murmel::message {

// The window filter that selects messages posted to the thread rather than to a window.
inline HWND ThreadMessagesOnly() { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)); }

// Which messages a retrieval accepts: the window (null: any window of the thread and thread
// messages; -1: thread messages only) and the inclusive message range (0, 0: all).
struct MessageFilter {
  HWND window = nullptr;
  UINT first = 0;
  UINT last = 0;

  bool Accepts(const MSG& msg) const;
};

class ThreadQueue;

// A call that another thread waits for: run once by the queue's owner, which then wakes
// the queue the caller waits on.
struct SentCall {
  std::function<LRESULT()> call;
  std::shared_ptr<ThreadQueue> reply_to;
  LRESULT result = 0;
  std::atomic<bool> done{false};
};

class ThreadQueue {
 public:
  void Post(const MSG& msg);
  void PostQuit(int exit_code);

  // Queues a call for the owner and wakes it; the caller then waits with WaitForReply.
  void Send(std::shared_ptr<SentCall> sent);
  // Runs every sent call pending for this (the owning) thread; false when there was none.
  bool ServeSent();
  // Blocks the owning thread until `sent` is done, serving calls sent to it meanwhile.
  void WaitForReply(const SentCall& sent);
  // Wakes a thread blocked in WaitForReply or Take.
  void Notify();

  // A thread that runs an event loop (the GUI thread) waits in that loop instead of on the
  // condition variable: `wake` must make `wait` return, from any thread.
  void SetEventLoop(std::function<void()> wake, std::function<void()> wait);

  enum class Mode { kPeek, kRemove };
  // The oldest message the filter accepts, else WM_QUIT when one is pending. Returns false
  // when there is none and `wait` is false.
  bool Take(const MessageFilter& filter, Mode mode, bool wait, MSG& out);

 private:
  bool TakeLocked(const MessageFilter& filter, Mode mode, MSG& out);

  void WakeEventLoop();

  std::mutex mutex_;
  std::condition_variable posted_signal_;
  std::deque<MSG> posted_;
  std::deque<std::shared_ptr<SentCall>> sent_;
  std::function<void()> wake_loop_;
  std::function<void()> wait_loop_;
  bool quit_pending_ = false;
  int quit_code_ = 0;
};

// The calling thread's queue, created on first use.
std::shared_ptr<ThreadQueue> CurrentThreadQueue();

// Milliseconds since an arbitrary start, as MSG::time carries them.
DWORD MessageTime();

}  // namespace murmel::message
