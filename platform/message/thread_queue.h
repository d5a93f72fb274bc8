// The posted-message queue of one thread. Any thread may post; only the owning thread
// retrieves. Sent (synchronous) messages will get a queue of their own beside this one.
#pragma once

#include <condition_variable>
#include <deque>
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

class ThreadQueue {
 public:
  void Post(const MSG& msg);
  void PostQuit(int exit_code);

  enum class Mode { kPeek, kRemove };
  // The oldest message the filter accepts, else WM_QUIT when one is pending. Returns false
  // when there is none and `wait` is false.
  bool Take(const MessageFilter& filter, Mode mode, bool wait, MSG& out);

 private:
  bool TakeLocked(const MessageFilter& filter, Mode mode, MSG& out);

  std::mutex mutex_;
  std::condition_variable posted_signal_;
  std::deque<MSG> posted_;
  bool quit_pending_ = false;
  int quit_code_ = 0;
};

// The calling thread's queue, created on first use.
std::shared_ptr<ThreadQueue> CurrentThreadQueue();

// Milliseconds since an arbitrary start, as MSG::time carries them.
DWORD MessageTime();

}  // namespace murmel::message
