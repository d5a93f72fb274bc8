// iconv converters shared by every thread of the process, one user at a time each.
#pragma once

#include <iconv.h>

#include <string>

namespace murmel::core {

// Borrows a converter in its initial state from a process-wide pool and gives it back when
// it goes out of scope. Pooled converters are never closed: closing the last one of a
// code page makes glibc unload and later reload its module, and a thread that is still
// converting when the process exits must not find its converter closed.
class PooledConverter {
 public:
  PooledConverter(const char* to, const char* from);
  ~PooledConverter();
  PooledConverter(const PooledConverter&) = delete;
  PooledConverter& operator=(const PooledConverter&) = delete;

  // False when iconv does not offer this pair.
  explicit operator bool() const { return handle_ != nullptr; }
  iconv_t get() const { return handle_; }

 private:
  std::string key_;
  iconv_t handle_ = nullptr;
};

}  // namespace murmel::core
