#include "platform/audio/file_streams.h"

#include <algorithm>
#include <cstdio>

#include "platform/audio/wave_device.h"

namespace murmel::audio {

PacedStream::PacedStream(WaveDevice& device, bool fast) : device_(device), fast_(fast) {}

PacedStream::~PacedStream() { StopThread(); }

void PacedStream::Launch() {
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!stopping_) Run(lock);
  });
}

void PacedStream::StopThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PacedStream::Start() {
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    kicked_ = true;
  }
  changed_.notify_all();
}

void PacedStream::Halt() {
  std::unique_lock lock(mutex_);
  running_ = false;
  ++session_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !busy_; });
}

void PacedStream::Kick() {
  {
    std::lock_guard lock(mutex_);
    kicked_ = true;
  }
  changed_.notify_all();
}

bool PacedStream::SleepUntil(std::unique_lock<std::mutex>& lock, Clock::time_point until) {
  changed_.wait_until(lock, until, [this] { return !Active(); });
  return Active();
}

std::size_t PacedStream::StepBytes() const {
  const WAVEFORMATEX& format = device_.format();
  const std::size_t per_step = format.nAvgBytesPerSec * kStep.count() / 1000;
  return std::max<std::size_t>(format.nBlockAlign, per_step - per_step % format.nBlockAlign);
}

FileCaptureStream::FileCaptureStream(WaveDevice& device, bool fast, WavReader reader)
    : PacedStream(device, fast), reader_(std::move(reader)) {
  Launch();
}

FileCaptureStream::~FileCaptureStream() { StopThread(); }

void FileCaptureStream::Run(std::unique_lock<std::mutex>& lock) {
  if (fast_) {
    // The file waits for the application: nothing is lost, however slowly it queues.
    changed_.wait(lock, [this] { return stopping_ || (running_ && kicked_); });
    kicked_ = false;
    BeginRound();
    while (Active()) {
      if (pending_.empty()) {
        pending_.resize(StepBytes());
        reader_.Read(pending_.data(), pending_.size());
      }
      const std::size_t taken =
          OutsideLock(lock, [this] { return device_.Capture(pending_.data(), pending_.size()); });
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(taken));
      if (!pending_.empty()) break;  // every buffer is full: wait for the next one
    }
    return;
  }
  // Real time: one step every 20 ms; what no buffer takes is lost, as on a real device.
  changed_.wait(lock, [this] { return stopping_ || running_; });
  BeginRound();
  std::vector<BYTE> step(StepBytes());
  Clock::time_point deadline = Clock::now();
  while (Active()) {
    reader_.Read(step.data(), step.size());
    OutsideLock(lock, [&] { return device_.Capture(step.data(), step.size()); });
    deadline += kStep;
    if (!SleepUntil(lock, deadline)) break;
  }
}

FilePlaybackStream::FilePlaybackStream(WaveDevice& device, bool fast, WavWriter writer)
    : PacedStream(device, fast), writer_(std::move(writer)) {
  Launch();
}

FilePlaybackStream::~FilePlaybackStream() { StopThread(); }

void FilePlaybackStream::Start() {
  {
    std::lock_guard lock(mutex_);
    rendered_ = 0;
  }
  PacedStream::Start();
}

void FilePlaybackStream::Run(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return stopping_ || (running_ && kicked_); });
  kicked_ = false;
  BeginRound();
  std::vector<BYTE> step(StepBytes());
  Clock::time_point deadline = Clock::now();
  while (Active()) {
    const std::size_t given =
        OutsideLock(lock, [&] { return device_.Render(step.data(), step.size()); });
    if (given == 0) break;  // nothing queued: wait for a write
    if (!fast_) {
      deadline += std::chrono::duration_cast<Clock::duration>(kStep) * given / step.size();
      // Halted while this step was playing: it was never heard in full, so it is dropped.
      if (!SleepUntil(lock, deadline)) break;
    }
    if (!writer_.Append(step.data(), given) && !write_failure_reported_) {
      write_failure_reported_ = true;
      std::fprintf(stderr, "murmelpost: audio: cannot write the playback file: disk full?\n");
    }
    rendered_ += given;
    const std::uint64_t heard = rendered_;
    OutsideLock(lock, [&] {
      device_.Played(heard);
      return 0;
    });
  }
}

}  // namespace murmel::audio
