// The small interface between the wave devices and the audio backends (PulseAudio, WAV
// files, none). A backend opens one stream per open device; the stream moves samples
// between the device's queued buffers and the outside world on a thread of its own.
#pragma once

#include <memory>

#include "mmsystem.h"

namespace murmel::audio {

enum class Direction { kInput, kOutput };

class WaveDevice;

// Start, Halt and Kick are called by the application's thread, never with a device lock
// held; the stream calls WaveDevice::Capture, Render and Played from its own thread.
class WaveStream {
 public:
  virtual ~WaveStream() = default;  // Halts first: no device call after it returns.
  // Input: capture begins. Output: playback of queued buffers may begin.
  virtual void Start() = 0;
  // Returns once the stream makes no device call until the next Start; audio captured or
  // rendered but not yet delivered or played is dropped.
  virtual void Halt() = 0;
  // A buffer was queued: a stream that waits for work looks again.
  virtual void Kick() = 0;
};

class WaveBackend {
 public:
  virtual ~WaveBackend() = default;
  virtual UINT DeviceCount(Direction direction) = 0;
  // MMSYSERR_NOERROR or WAVERR_BADFORMAT for a valid PCM format this backend cannot use.
  virtual MMRESULT Supports(Direction direction, const WAVEFORMATEX& format) = 0;
  // Opens the stream for `device` (not yet started). On failure returns the platform's
  // result and leaves `stream` empty.
  virtual MMRESULT OpenStream(Direction direction, WaveDevice& device,
                              std::unique_ptr<WaveStream>& stream) = 0;
};

}  // namespace murmel::audio
