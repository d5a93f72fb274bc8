#include "platform/kernel/waitable.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "win/kernel.h"

namespace murmel::kernel {
namespace {

// The mutexes the current thread owns, so that its end can abandon them.
class OwnedMutexes {
 public:
  OwnedMutexes() = default;
  OwnedMutexes(const OwnedMutexes&) = delete;
  OwnedMutexes& operator=(const OwnedMutexes&) = delete;
  ~OwnedMutexes() { AbandonAll(); }

  void Add(std::weak_ptr<MutexObject> mutex) { owned_.push_back(std::move(mutex)); }

  void Remove(const MutexObject* mutex) {
    std::erase_if(owned_, [mutex](const std::weak_ptr<MutexObject>& entry) {
      const auto alive = entry.lock();
      return !alive || alive.get() == mutex;
    });
  }

  void AbandonAll() {
    // Take the list first, so that the thread's record is empty whatever happens next.
    std::vector<std::weak_ptr<MutexObject>> owned;
    owned.swap(owned_);
    const DWORD self = GetCurrentThreadId();
    for (const auto& entry : owned) {
      if (const auto mutex = entry.lock()) mutex->Abandon(self);
    }
  }

 private:
  std::vector<std::weak_ptr<MutexObject>> owned_;
};

OwnedMutexes& ThisThreadsMutexes() {
  thread_local OwnedMutexes owned;
  return owned;
}

}  // namespace

DWORD Waitable::Wait(DWORD milliseconds) {
  const DWORD self = GetCurrentThreadId();
  Acquired acquired = Acquired::kNo;
  const auto attempt = [&] {
    acquired = TryAcquireLocked(self);
    return acquired != Acquired::kNo;
  };
  std::unique_lock lock(mutex_);
  if (milliseconds == INFINITE) {
    changed_.wait(lock, attempt);
  } else {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    if (!changed_.wait_until(lock, deadline, attempt)) return WAIT_TIMEOUT;
  }
  return acquired == Acquired::kAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

void ThreadObject::MarkStarted(DWORD id) {
  std::lock_guard lock(mutex_);
  id_ = id;
  changed_.notify_all();
}

DWORD ThreadObject::WaitUntilStarted() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return id_ != 0; });
  return id_;
}

void ThreadObject::MarkEnded(DWORD exit_code) {
  std::lock_guard lock(mutex_);
  ended_ = true;
  exit_code_ = exit_code;
  changed_.notify_all();
}

void ThreadObject::HoldUntilResumed() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return suspend_count_ == 0; });
}

void ThreadObject::SetSuspendCount(DWORD count) {
  std::lock_guard lock(mutex_);
  suspend_count_ = count;
}

DWORD ThreadObject::Resume() {
  std::lock_guard lock(mutex_);
  const DWORD previous = suspend_count_;
  if (suspend_count_ > 0 && --suspend_count_ == 0) changed_.notify_all();
  return previous;
}

DWORD ThreadObject::ExitCode() {
  std::lock_guard lock(mutex_);
  return ended_ ? exit_code_ : STILL_ACTIVE;
}

Waitable::Acquired ThreadObject::TryAcquireLocked(DWORD /*thread_id*/) {
  return ended_ ? Acquired::kYes : Acquired::kNo;
}

void EventObject::Set() {
  std::lock_guard lock(mutex_);
  signalled_ = true;
  // Every waiter re-checks; an auto-reset event lets exactly one of them consume it.
  changed_.notify_all();
}

void EventObject::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

Waitable::Acquired EventObject::TryAcquireLocked(DWORD /*thread_id*/) {
  if (!signalled_) return Acquired::kNo;
  if (!manual_reset_) signalled_ = false;
  return Acquired::kYes;
}

void MutexObject::TakeInitialOwnership(DWORD thread_id) {
  std::lock_guard lock(mutex_);
  TryAcquireLocked(thread_id);
}

bool MutexObject::Release(DWORD thread_id) {
  {
    std::lock_guard lock(mutex_);
    if (owner_ != thread_id || recursion_ == 0) return false;
    if (--recursion_ > 0) return true;
    owner_ = 0;
    changed_.notify_all();
  }
  ThisThreadsMutexes().Remove(this);
  return true;
}

void MutexObject::Abandon(DWORD thread_id) {
  std::lock_guard lock(mutex_);
  if (owner_ != thread_id) return;
  owner_ = 0;
  recursion_ = 0;
  abandoned_ = true;
  changed_.notify_all();
}

Waitable::Acquired MutexObject::TryAcquireLocked(DWORD thread_id) {
  if (owner_ == thread_id) {
    ++recursion_;
    return Acquired::kYes;
  }
  if (owner_ != 0) return Acquired::kNo;
  owner_ = thread_id;
  recursion_ = 1;
  ThisThreadsMutexes().Add(weak_from_this());
  if (!abandoned_) return Acquired::kYes;
  abandoned_ = false;
  return Acquired::kAbandoned;
}

void AbandonMutexesOfThisThread() { ThisThreadsMutexes().AbandonAll(); }

}  // namespace murmel::kernel
