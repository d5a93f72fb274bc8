#include "platform/message/thread_queue.h"

#include <chrono>

#include "platform/message/window_registry.h"

namespace murmel::message {

namespace {

// Destroys the thread's windows when the thread ends, as the platform does.
struct ThreadQueueHolder {
  std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  ~ThreadQueueHolder() { DestroyWindowsOf(queue.get()); }
};

}  // namespace

bool MessageFilter::Accepts(const MSG& msg) const {
  if (window == ThreadMessagesOnly()) {
    if (msg.hwnd != nullptr) return false;
  } else if (window != nullptr && msg.hwnd != window) {
    return false;
  }
  if (first == 0 && last == 0) return true;
  return msg.message >= first && msg.message <= last;
}

void ThreadQueue::Post(const MSG& msg) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(msg);
  }
  posted_signal_.notify_all();
}

void ThreadQueue::PostQuit(int exit_code) {
  {
    std::lock_guard lock(mutex_);
    quit_pending_ = true;
    quit_code_ = exit_code;
  }
  posted_signal_.notify_all();
}

bool ThreadQueue::Take(const MessageFilter& filter, Mode mode, bool wait, MSG& out) {
  std::unique_lock lock(mutex_);
  if (!wait) return TakeLocked(filter, mode, out);
  posted_signal_.wait(lock, [&] { return TakeLocked(filter, mode, out); });
  return true;
}

bool ThreadQueue::TakeLocked(const MessageFilter& filter, Mode mode, MSG& out) {
  for (auto it = posted_.begin(); it != posted_.end(); ++it) {
    if (!filter.Accepts(*it)) continue;
    out = *it;
    if (mode == Mode::kRemove) posted_.erase(it);
    return true;
  }
  // The quit message ranks below every posted message and passes any filter.
  if (quit_pending_) {
    out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quit_code_), 0, MessageTime(), {0, 0}};
    if (mode == Mode::kRemove) quit_pending_ = false;
    return true;
  }
  return false;
}

std::shared_ptr<ThreadQueue> CurrentThreadQueue() {
  thread_local ThreadQueueHolder holder;
  return holder.queue;
}

DWORD MessageTime() {
  const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

}  // namespace murmel::message
