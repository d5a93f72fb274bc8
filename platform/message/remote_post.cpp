#include "platform/message/remote_post.h"

#include <atomic>

namespace murmel::message {

namespace {

std::atomic<RemotePoster> installed_poster{nullptr};

}  // namespace

void SetRemotePoster(RemotePoster poster) { installed_poster.store(poster); }

bool PostToRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const RemotePoster poster = installed_poster.load();
  return poster != nullptr && poster(window, message, wParam, lParam);
}

}  // namespace murmel::message
