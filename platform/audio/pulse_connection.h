// One connection to the PulseAudio (or PipeWire-pulse) server: a threaded main loop and a
// context. Every stream of the process shares it; callbacks run on the loop's thread with
// the loop's lock held.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace murmel::audio::pulse {

class PulseConnection {
 public:
  // Connects without spawning a server; null when none answers within `timeout`.
  static std::shared_ptr<PulseConnection> Connect(std::chrono::milliseconds timeout);
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  pa_threaded_mainloop* loop() const { return loop_; }
  pa_context* context() const { return context_; }
  bool Ready() const;  // loop lock held

  // Waits, loop lock held and not on the loop's thread, until `done` or the time-out;
  // returns `done()`. Callbacks that change what `done` reads call Signal().
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void Signal() { pa_threaded_mainloop_signal(loop_, 0); }

  // The server's default sink and source names ("" when it has none); loop lock held.
  bool QueryDefaults(std::string& sink, std::string& source, std::chrono::milliseconds timeout);

 private:
  struct Key {};

 public:
  explicit PulseConnection(Key /*only Connect makes one*/) {}

 private:
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
};

// Holds the loop's lock for a scope.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

}  // namespace murmel::audio::pulse
