// Threads: creation, exit codes, ids, and the sleep and tick services.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/kernel/handle_table.h"
#include "platform/kernel/waitable.h"
#include "win/error.h"
#include "win/kernel.h"

namespace murmel::kernel {
namespace {

struct StartBlock {
  std::shared_ptr<ThreadObject> thread;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void* RunThread(void* raw) {
  // The block keeps the thread object alive until the very end, even when every handle to
  // it was closed while the thread ran (the client's threads close their own).
  const std::unique_ptr<StartBlock> start(static_cast<StartBlock*>(raw));
  start->thread->MarkStarted(GetCurrentThreadId());
  start->thread->HoldUntilResumed();
  const DWORD exit_code = start->routine(start->parameter);
  AbandonMutexesOfThisThread();
  start->thread->MarkEnded(exit_code);
  return nullptr;
}

// Detached threads with at least the requested stack; the platform's size is a minimum.
class ThreadAttributes {
 public:
  explicit ThreadAttributes(SIZE_T stack_size) {
    pthread_attr_init(&attributes_);
    pthread_attr_setdetachstate(&attributes_, PTHREAD_CREATE_DETACHED);
    std::size_t default_size = 0;
    if (pthread_attr_getstacksize(&attributes_, &default_size) == 0 && stack_size > default_size) {
      pthread_attr_setstacksize(&attributes_, stack_size);
    }
  }
  ThreadAttributes(const ThreadAttributes&) = delete;
  ThreadAttributes& operator=(const ThreadAttributes&) = delete;
  ~ThreadAttributes() { pthread_attr_destroy(&attributes_); }
  const pthread_attr_t* get() const { return &attributes_; }

 private:
  pthread_attr_t attributes_{};
};

}  // namespace
}  // namespace murmel::kernel

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
  using namespace murmel::kernel;
  // A suspended start is the only creation flag: it lets the creator store the handle
  // before the thread can look for it.
  if (!lpStartAddress || (dwCreationFlags & ~static_cast<DWORD>(CREATE_SUSPENDED)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<ThreadObject>();
  if ((dwCreationFlags & CREATE_SUSPENDED) != 0) thread->SetSuspendCount(1);
  HANDLE handle = HandleTable::Instance().Insert(thread);
  if (!handle) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto start = std::make_unique<StartBlock>(StartBlock{thread, lpStartAddress, lpParameter});
  const ThreadAttributes attributes(dwStackSize);
  pthread_t native{};
  if (pthread_create(&native, attributes.get(), &RunThread, start.get()) != 0) {
    HandleTable::Instance().Remove(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  start.release();  // NOLINT(bugprone-unused-return-value): the new thread owns it now
  const DWORD id = thread->WaitUntilStarted();
  if (lpThreadId) *lpThreadId = id;
  return handle;
}

DWORD ResumeThread(HANDLE hThread) {
  const auto thread =
      murmel::kernel::HandleTable::Instance().FindAs<murmel::kernel::ThreadObject>(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  return thread->Resume();
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  const auto thread =
      murmel::kernel::HandleTable::Instance().FindAs<murmel::kernel::ThreadObject>(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpExitCode) *lpExitCode = thread->ExitCode();
  return TRUE;
}

DWORD GetCurrentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(gettid());
  return id;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();  // gives up the rest of the time slice, as the platform does
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount() {
  // Milliseconds since boot on Linux's monotonic clock, wrapping like the platform's.
  const auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_boot).count());
}
