// One open waveIn or waveOut device: the queue of the application's buffers, their flags,
// the notifications and the position. Backend-neutral: a WaveStream feeds or drains it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "mmsystem.h"
#include "platform/audio/wave_stream.h"

namespace murmel::audio {

// Where notifications go: CALLBACK_NULL or CALLBACK_WINDOW with its window.
struct NotifyTarget {
  DWORD type = CALLBACK_NULL;
  HWND window = nullptr;
};

class WaveDevice {
 public:
  WaveDevice(Direction direction, const WAVEFORMATEX& format, NotifyTarget target, UINT_PTR handle);
  ~WaveDevice();
  WaveDevice(const WaveDevice&) = delete;
  WaveDevice& operator=(const WaveDevice&) = delete;

  Direction direction() const { return direction_; }
  const WAVEFORMATEX& format() const { return format_; }

  // The application's side; each call is serialised with the others.
  void Attach(std::unique_ptr<WaveStream> stream);  // and posts the OPEN notification
  MMRESULT Prepare(LPWAVEHDR header, UINT size);
  MMRESULT Unprepare(LPWAVEHDR header, UINT size);
  MMRESULT Queue(LPWAVEHDR header, UINT size);
  MMRESULT Start();
  MMRESULT Reset();
  // Fails with WAVERR_STILLPLAYING while buffers are queued; otherwise ends the stream and
  // posts the CLOSE notification. Every later call fails with MMSYSERR_INVALHANDLE.
  MMRESULT Close();
  MMRESULT Position(LPMMTIME time, UINT size);

  // The stream's side, from its own thread.
  // Input: copies captured audio into the queued buffers and returns how much they took
  // (nothing while stopped or without a buffer); each filled buffer comes back as DATA.
  std::size_t Capture(const BYTE* data, std::size_t size);
  // Output: copies up to `size` bytes of queued audio not yet rendered; returns the count.
  std::size_t Render(BYTE* out, std::size_t size);
  // Output: `bytes` of what Render gave since the stream's Start have been heard; buffers
  // wholly heard come back as DONE.
  void Played(std::uint64_t bytes);

 private:
  struct Queued {
    LPWAVEHDR header;
    std::uint64_t end = 0;  // output: rendered position after its last byte
  };

  bool ValidHeader(LPWAVEHDR header, UINT size) const;
  void Complete(LPWAVEHDR header);          // mutex_ held
  void Notify(UINT message, LPARAM param);  // mutex_ held

  const Direction direction_;
  const WAVEFORMATEX format_;
  const NotifyTarget target_;
  const UINT_PTR handle_;

  // Serialises the application's calls, and is held across calls into the stream, which
  // therefore never run under mutex_ (the stream's thread takes its own locks, then mutex_).
  std::mutex api_mutex_;
  std::unique_ptr<WaveStream> stream_;
  bool closed_ = false;

  std::mutex mutex_;
  std::deque<Queued> queue_;
  bool started_ = false;      // input only; output plays whenever it has buffers
  std::size_t rendered_ = 0;  // output: buffers in queue_ wholly rendered
  DWORD render_offset_ = 0;   // output: bytes of queue_[rendered_] rendered
  std::uint64_t rendered_bytes_ = 0;
  std::uint64_t position_ = 0;  // bytes captured, or heard, since open or reset
};

}  // namespace murmel::audio
