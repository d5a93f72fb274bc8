// The process's table of kernel objects. A HANDLE names a slot and the slot's generation,
// so a stale copy of a closed handle never reaches the object that later takes the slot.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "win/types.h"

namespace murmel::kernel {

// Base of every object a handle can name. Objects are shared: a handle holds one
// reference, and an operation in progress (a wait, a running thread) holds its own.
class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  // False for objects that live as long as the process (the process heap).
  virtual bool Closable() const { return true; }
};

class HandleTable {
 public:
  static HandleTable& Instance();

  // A new handle for the object; null when the table is full.
  HANDLE Insert(std::shared_ptr<KernelObject> object);

  // The object behind a live handle, or null for a closed, bogus or foreign handle.
  std::shared_ptr<KernelObject> Find(HANDLE handle) const;

  template <typename T>
  std::shared_ptr<T> FindAs(HANDLE handle) const {
    return std::dynamic_pointer_cast<T>(Find(handle));
  }

  // Ends the handle and hands its reference back, so that the object is destroyed outside
  // the table's lock. Null when the handle is not live or its object cannot be closed.
  std::shared_ptr<KernelObject> Remove(HANDLE handle);

 private:
  struct Slot {
    std::uint32_t generation = 1;
    std::shared_ptr<KernelObject> object;
  };

  HandleTable() = default;
  template <typename T>
  friend class Immortal;

  const Slot* LiveSlot(HANDLE handle) const;

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  // Oldest free slot first, so a closed slot rests as long as possible before reuse.
  std::deque<std::uint32_t> free_;
};

// Storage for process-wide state that must outlive static destruction: threads that the
// program does not wait for may still use it while the process exits.
template <typename T>
class Immortal {
 public:
  template <typename... Args>
  explicit Immortal(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  Immortal(const Immortal&) = delete;
  Immortal& operator=(const Immortal&) = delete;
  ~Immortal() = default;  // deliberately never destroys the object

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace murmel::kernel
