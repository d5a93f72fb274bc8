#include "platform/core/iconv_pool.h"

#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace murmel::core {
namespace {

class ConverterPool {
 public:
  iconv_t Take(const std::string& key) {
    const std::lock_guard lock(mutex_);
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
      if (it->first == key) {
        const iconv_t handle = it->second;
        idle_.erase(it);
        return handle;
      }
    }
    return nullptr;
  }

  void Give(std::string key, iconv_t handle) {
    const std::lock_guard lock(mutex_);
    idle_.emplace_back(std::move(key), handle);
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, iconv_t>> idle_;
};

// Constructed once and never destroyed, so that it outlives every thread that converts.
ConverterPool& Pool() {
  alignas(ConverterPool) static unsigned char storage[sizeof(ConverterPool)];
  static ConverterPool* const pool = ::new (storage) ConverterPool;
  return *pool;
}

}  // namespace

PooledConverter::PooledConverter(const char* to, const char* from)
    : key_(std::string(to) + '\n' + from) {
  handle_ = Pool().Take(key_);
  if (handle_ != nullptr) {
    // Whatever the last user left half-done is dropped.
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    return;
  }
  const iconv_t opened = iconv_open(to, from);
  if (opened != reinterpret_cast<iconv_t>(-1)) handle_ = opened;
}

PooledConverter::~PooledConverter() {
  if (handle_ != nullptr) Pool().Give(std::move(key_), handle_);
}

}  // namespace murmel::core
