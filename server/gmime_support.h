// GMime's objects as owning pointers, and its one-time set-up shared by every thread
// that composes or parses mail (g_mime_init itself is not safe to race).
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

namespace murmel::server {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectUnref>;

inline void InitialiseGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

}  // namespace murmel::server
