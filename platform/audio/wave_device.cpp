#include "platform/audio/wave_device.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/wave_format.h"
#include "win/message.h"

namespace murmel::audio {

WaveDevice::WaveDevice(Direction direction, const WAVEFORMATEX& format, NotifyTarget target,
                       UINT_PTR handle)
    : direction_(direction), format_(format), target_(target), handle_(handle) {}

WaveDevice::~WaveDevice() {
  // The stream's thread may still call in until the stream is gone.
  std::lock_guard api(api_mutex_);
  stream_.reset();
}

void WaveDevice::Attach(std::unique_ptr<WaveStream> stream) {
  std::lock_guard api(api_mutex_);
  stream_ = std::move(stream);
  // Output needs no start: it plays as soon as a buffer is written.
  if (direction_ == Direction::kOutput) stream_->Start();
  std::lock_guard lock(mutex_);
  Notify(direction_ == Direction::kInput ? MM_WIM_OPEN : MM_WOM_OPEN, 0);
}

bool WaveDevice::ValidHeader(LPWAVEHDR header, UINT size) const {
  return header != nullptr && size >= sizeof(WAVEHDR) &&
         (header->lpData != nullptr || header->dwBufferLength == 0);
}

MMRESULT WaveDevice::Prepare(LPWAVEHDR header, UINT size) {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!ValidHeader(header, size)) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  // Preparing a prepared header changes nothing.
  if ((header->dwFlags & WHDR_PREPARED) != 0) return MMSYSERR_NOERROR;
  header->dwFlags = (header->dwFlags & ~(WHDR_DONE | WHDR_INQUEUE)) | WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Unprepare(LPWAVEHDR header, UINT size) {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if ((header->dwFlags & WHDR_PREPARED) == 0) return MMSYSERR_NOERROR;
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Queue(LPWAVEHDR header, UINT size) {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (!ValidHeader(header, size)) return MMSYSERR_INVALPARAM;
  {
    std::lock_guard lock(mutex_);
    if ((header->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->lpNext = nullptr;
    if (direction_ == Direction::kInput) header->dwBytesRecorded = 0;
    queue_.push_back(Queued{header});
  }
  stream_->Kick();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Start() {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (started_) return MMSYSERR_NOERROR;
    started_ = true;
  }
  stream_->Start();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Reset() {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  // Halt first, so no capture or render interleaves with the buffers' return.
  stream_->Halt();
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    // Every buffer comes back in queue order; the one in progress keeps what it holds.
    while (!queue_.empty()) {
      Complete(queue_.front().header);
      queue_.pop_front();
    }
    rendered_ = 0;
    render_offset_ = 0;
    rendered_bytes_ = 0;
    position_ = 0;
  }
  if (direction_ == Direction::kOutput) stream_->Start();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Close() {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
  }
  stream_.reset();
  closed_ = true;
  std::lock_guard lock(mutex_);
  Notify(direction_ == Direction::kInput ? MM_WIM_CLOSE : MM_WOM_CLOSE, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Position(LPMMTIME time, UINT size) {
  std::lock_guard api(api_mutex_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  if (time == nullptr || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  FillPosition(format_, position_, *time);
  return MMSYSERR_NOERROR;
}

std::size_t WaveDevice::Capture(const BYTE* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  if (!started_) return 0;
  std::size_t taken = 0;
  while (!queue_.empty()) {
    WAVEHDR& header = *queue_.front().header;
    const std::size_t room = header.dwBufferLength - header.dwBytesRecorded;
    const std::size_t count = std::min(room, size - taken);
    if (count > 0) {
      std::memcpy(header.lpData + header.dwBytesRecorded, data + taken, count);
      header.dwBytesRecorded += static_cast<DWORD>(count);
      taken += count;
    }
    if (header.dwBytesRecorded < header.dwBufferLength) break;
    Complete(&header);
    queue_.pop_front();
  }
  position_ += taken;
  return taken;
}

std::size_t WaveDevice::Render(BYTE* out, std::size_t size) {
  std::lock_guard lock(mutex_);
  std::size_t given = 0;
  while (rendered_ < queue_.size()) {
    Queued& entry = queue_[rendered_];
    const WAVEHDR& header = *entry.header;
    const std::size_t count =
        std::min<std::size_t>(header.dwBufferLength - render_offset_, size - given);
    if (count > 0) {
      std::memcpy(out + given, header.lpData + render_offset_, count);
      render_offset_ += static_cast<DWORD>(count);
      given += count;
      rendered_bytes_ += count;
    }
    if (render_offset_ < header.dwBufferLength) break;
    entry.end = rendered_bytes_;
    ++rendered_;
    render_offset_ = 0;
  }
  return given;
}

void WaveDevice::Played(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  position_ = std::max(position_, std::min(bytes, rendered_bytes_));
  while (rendered_ > 0 && queue_.front().end <= position_) {
    Complete(queue_.front().header);
    queue_.pop_front();
    --rendered_;
  }
}

void WaveDevice::Complete(LPWAVEHDR header) {
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  Notify(direction_ == Direction::kInput ? MM_WIM_DATA : MM_WOM_DONE,
         reinterpret_cast<LPARAM>(header));
}

void WaveDevice::Notify(UINT message, LPARAM param) {
  // Posting under mutex_ keeps the notifications in the order the buffers completed, even
  // when a reset on the application's thread races with the stream's thread.
  if (target_.type == CALLBACK_WINDOW && target_.window != nullptr) {
    PostMessageW(target_.window, message, static_cast<WPARAM>(handle_), param);
  }
}

}  // namespace murmel::audio
