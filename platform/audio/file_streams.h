// The file backend's streams: one thread each, moving audio between a WAV file and the
// device's buffers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/wav_file.h"
#include "platform/audio/wave_stream.h"

namespace murmel::audio {

// The state every file stream shares: its thread, and the handshake that lets Halt wait
// until the thread is outside the device.
class PacedStream : public WaveStream {
 public:
  PacedStream(WaveDevice& device, bool fast);
  ~PacedStream() override;

  void Start() override;
  void Halt() override;
  void Kick() override;

 protected:
  using Clock = std::chrono::steady_clock;
  // How much audio one step of a paced device moves: 20 ms.
  static constexpr std::chrono::milliseconds kStep{20};

  void Launch();      // by the derived constructor, once it is complete
  void StopThread();  // by the derived destructor, before its members go
  virtual void Run(std::unique_lock<std::mutex>& lock) = 0;
  // Calls into the device with the lock released; Halt waits for it to return.
  template <typename Call>
  auto OutsideLock(std::unique_lock<std::mutex>& lock, Call call) {
    busy_ = true;
    lock.unlock();
    auto result = call();
    lock.lock();
    busy_ = false;
    changed_.notify_all();
    return result;
  }
  // Waits until stopped, halted or (for `until`) the deadline; true when still running.
  bool SleepUntil(std::unique_lock<std::mutex>& lock, Clock::time_point until);
  // Running, and not halted since `session` was read: a Halt quickly followed by a Start
  // must still end the thread's old round.
  bool Active() const { return running_ && !stopping_ && session_ == round_; }
  void BeginRound() { round_ = session_; }
  std::size_t StepBytes() const;

  WaveDevice& device_;
  const bool fast_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool running_ = false;
  bool kicked_ = false;
  bool stopping_ = false;
  bool busy_ = false;
  std::uint64_t session_ = 0;  // counts Halts
  std::uint64_t round_ = 0;    // session_ when the thread's current round began

 private:
  std::thread thread_;
};

class FileCaptureStream : public PacedStream {
 public:
  FileCaptureStream(WaveDevice& device, bool fast, WavReader reader);
  ~FileCaptureStream() override;

 private:
  void Run(std::unique_lock<std::mutex>& lock) override;

  WavReader reader_;
  std::vector<BYTE> pending_;  // fast: read from the file, not yet taken by a buffer
};

class FilePlaybackStream : public PacedStream {
 public:
  FilePlaybackStream(WaveDevice& device, bool fast, WavWriter writer);
  ~FilePlaybackStream() override;

  void Start() override;

 private:
  void Run(std::unique_lock<std::mutex>& lock) override;

  WavWriter writer_;
  std::uint64_t rendered_ = 0;  // since Start, in the device's counting
  bool write_failure_reported_ = false;
};

}  // namespace murmel::audio
