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
  WakeEventLoop();
}

void ThreadQueue::PostQuit(int exit_code) {
  {
    std::lock_guard lock(mutex_);
    quit_pending_ = true;
    quit_code_ = exit_code;
  }
  posted_signal_.notify_all();
  WakeEventLoop();
}

void ThreadQueue::Send(std::shared_ptr<SentCall> sent) {
  {
    std::lock_guard lock(mutex_);
    sent_.push_back(std::move(sent));
  }
  posted_signal_.notify_all();
  WakeEventLoop();
}

bool ThreadQueue::ServeSent() {
  bool served = false;
  for (;;) {
    std::shared_ptr<SentCall> next;
    {
      std::lock_guard lock(mutex_);
      if (sent_.empty()) return served;
      next = std::move(sent_.front());
      sent_.pop_front();
    }
    // Run unlocked: the call may post, send or wait itself.
    next->result = next->call();
    next->done.store(true);
    if (next->reply_to) next->reply_to->Notify();
    served = true;
  }
}

void ThreadQueue::WaitForReply(const SentCall& sent) {
  for (;;) {
    ServeSent();
    std::unique_lock lock(mutex_);
    if (sent.done.load()) return;
    posted_signal_.wait(lock, [&] { return sent.done.load() || !sent_.empty(); });
  }
}

void ThreadQueue::Notify() {
  { std::lock_guard lock(mutex_); }
  posted_signal_.notify_all();
}

void ThreadQueue::SetEventLoop(std::function<void()> wake, std::function<void()> wait) {
  std::lock_guard lock(mutex_);
  wake_loop_ = std::move(wake);
  wait_loop_ = std::move(wait);
}

void ThreadQueue::WakeEventLoop() {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    wake = wake_loop_;
  }
  if (wake) wake();
}

bool ThreadQueue::Take(const MessageFilter& filter, Mode mode, bool wait, MSG& out) {
  for (;;) {
    ServeSent();
    std::unique_lock lock(mutex_);
    if (TakeLocked(filter, mode, out)) return true;
    if (!wait) return false;
    if (wait_loop_) {
      const std::function<void()> wait_loop = wait_loop_;
      lock.unlock();
      wait_loop();
      continue;
    }
    // A sent call wakes the wait too: it is served at the top of the loop.
    bool taken = false;
    posted_signal_.wait(lock, [&] {
      if (!sent_.empty()) return true;
      taken = TakeLocked(filter, mode, out);
      return taken;
    });
    if (taken) return true;
  }
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
