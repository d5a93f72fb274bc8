// Events and mutexes, named or not, and waiting for any waitable object.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/kernel/handle_table.h"
#include "platform/kernel/waitable.h"
#include "win/error.h"
#include "win/kernel.h"

namespace murmel::kernel {
namespace {

constexpr std::size_t kMaxNameLength = 260;

// Named objects of this process. A name lasts as long as its object: the registry holds
// only weak references, and an expired entry counts as free.
class NameRegistry {
 public:
  static NameRegistry& Instance() {
    static Immortal<NameRegistry> registry;
    return registry.get();
  }

  // Opens the object of that name, or creates it with make() and names it. existed tells
  // which; null when the name belongs to an object of another kind.
  template <typename T, typename Make>
  std::shared_ptr<T> OpenOrCreate(const std::u16string& name, Make make, bool& existed) {
    std::shared_ptr<KernelObject> current;  // released after the lock, never under it
    std::lock_guard lock(mutex_);
    if (auto found = objects_.find(name); found != objects_.end()) {
      current = found->second.lock();
    }
    existed = current != nullptr;
    if (existed) return std::dynamic_pointer_cast<T>(current);
    std::shared_ptr<T> created = make();
    objects_[name] = created;
    Prune();
    return created;
  }

 private:
  // Drops names whose objects are gone, so the map does not grow with every name used.
  void Prune() {
    std::erase_if(objects_, [](const auto& entry) { return entry.second.expired(); });
  }

  std::mutex mutex_;
  std::map<std::u16string, std::weak_ptr<KernelObject>> objects_;
};

// Creates an unnamed object, or opens or creates a named one, and hands out a new handle;
// sets the last error as the platform does (ERROR_ALREADY_EXISTS for an opened name).
template <typename T, typename Make>
HANDLE CreateNamed(LPCWSTR name, Make make, std::shared_ptr<T>& object, bool& existed) {
  existed = false;
  if (name && *name) {
    std::u16string key(name);
    if (key.size() > kMaxNameLength) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    object = NameRegistry::Instance().OpenOrCreate<T>(key, make, existed);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);  // the name is taken by another kind of object
      return nullptr;
    }
  } else {
    object = make();
  }
  HANDLE handle = HandleTable::Instance().Insert(object);
  if (!handle) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

template <typename T>
std::shared_ptr<T> Lookup(HANDLE handle) {
  auto object = HandleTable::Instance().FindAs<T>(handle);
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

}  // namespace
}  // namespace murmel::kernel

using murmel::kernel::EventObject;
using murmel::kernel::MutexObject;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                    BOOL bInitialState, LPCWSTR lpName) {
  std::shared_ptr<EventObject> event;
  bool existed = false;
  // An existing event keeps its own reset mode and state.
  return murmel::kernel::CreateNamed<EventObject>(
      lpName,
      [&] { return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE); },
      event, existed);
}

BOOL SetEvent(HANDLE hEvent) {
  const auto event = murmel::kernel::Lookup<EventObject>(hEvent);
  if (!event) return FALSE;
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  const auto event = murmel::kernel::Lookup<EventObject>(hEvent);
  if (!event) return FALSE;
  event->Reset();
  return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner,
                    LPCWSTR lpName) {
  std::shared_ptr<MutexObject> mutex;
  bool existed = false;
  // The creator owns a new mutex before anyone can open it by name; opening an existing
  // mutex never takes it, whatever the caller asked.
  const auto make = [bInitialOwner] {
    auto created = std::make_shared<MutexObject>();
    if (bInitialOwner) created->TakeInitialOwnership(GetCurrentThreadId());
    return created;
  };
  return murmel::kernel::CreateNamed<MutexObject>(lpName, make, mutex, existed);
}

BOOL ReleaseMutex(HANDLE hMutex) {
  const auto mutex = murmel::kernel::Lookup<MutexObject>(hMutex);
  if (!mutex) return FALSE;
  if (!mutex->Release(GetCurrentThreadId())) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  const auto object = murmel::kernel::Lookup<murmel::kernel::Waitable>(hHandle);
  if (!object) return WAIT_FAILED;
  return object->Wait(dwMilliseconds);
}
