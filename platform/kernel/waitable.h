// Objects a thread can wait for: threads, events and mutexes. Each keeps its state under
// its own lock, and a waiter holds a reference, so closing the last handle while someone
// waits leaves the waiter safe.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/kernel/handle_table.h"
#include "win/types.h"

namespace murmel::kernel {

class Waitable : public KernelObject {
 public:
  // WAIT_OBJECT_0, WAIT_ABANDONED or WAIT_TIMEOUT; INFINITE waits for ever.
  DWORD Wait(DWORD milliseconds);

 protected:
  enum class Acquired { kNo, kYes, kAbandoned };

  // With mutex_ held: takes the object for the calling thread if it is signalled,
  // consuming the signal where the object's kind says so.
  virtual Acquired TryAcquireLocked(DWORD thread_id) = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
};

class ThreadObject final : public Waitable {
 public:
  // The creator learns the new thread's id before CreateThread returns.
  void MarkStarted(DWORD id);
  DWORD WaitUntilStarted();
  void MarkEnded(DWORD exit_code);
  // STILL_ACTIVE while the thread runs.
  DWORD ExitCode();
  // A thread created suspended waits here before its routine until it is resumed.
  void HoldUntilResumed();
  void SetSuspendCount(DWORD count);
  // The count before the call; the thread runs once it reaches 0.
  DWORD Resume();

 private:
  Acquired TryAcquireLocked(DWORD thread_id) override;

  DWORD suspend_count_ = 0;
  DWORD id_ = 0;
  bool ended_ = false;
  DWORD exit_code_ = 0;
};

class EventObject final : public Waitable {
 public:
  EventObject(bool manual_reset, bool signalled)
      : manual_reset_(manual_reset), signalled_(signalled) {}
  void Set();
  void Reset();

 private:
  Acquired TryAcquireLocked(DWORD thread_id) override;

  const bool manual_reset_;
  bool signalled_;
};

class MutexObject final : public Waitable, public std::enable_shared_from_this<MutexObject> {
 public:
  // Ownership is taken by the creating thread through TakeInitialOwnership.
  void TakeInitialOwnership(DWORD thread_id);
  // False when the thread does not own the mutex.
  bool Release(DWORD thread_id);
  // The owner ended without releasing: the next waiter gets WAIT_ABANDONED.
  void Abandon(DWORD thread_id);

 private:
  Acquired TryAcquireLocked(DWORD thread_id) override;

  DWORD owner_ = 0;
  DWORD recursion_ = 0;
  bool abandoned_ = false;
};

// Called by a thread on its way out, before its end is signalled, so that whoever waits
// for the thread then finds its mutexes abandoned.
void AbandonMutexesOfThisThread();

}  // namespace murmel::kernel
