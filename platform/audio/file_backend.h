// Wave devices backed by WAV files, for tests and headless runs: capture reads a WAV file
// (then silence), playback writes what is played into one. Paced like a real device, or
// "fast": as quick as the application queues buffers, with every ordering rule kept.
#pragma once

#include <mutex>
#include <string>

#include "platform/audio/wave_stream.h"

namespace murmel::audio {

class FileBackend : public WaveBackend {
 public:
  FileBackend(std::string in_path, std::string out_path, bool fast);

  UINT DeviceCount(Direction direction) override;
  MMRESULT Supports(Direction direction, const WAVEFORMATEX& format) override;
  MMRESULT OpenStream(Direction direction, WaveDevice& device,
                      std::unique_ptr<WaveStream>& stream) override;

 private:
  // Says once per distinct problem why a file cannot serve as a device.
  void Complain(const std::string& what);

  const std::string in_path_;
  const std::string out_path_;
  const bool fast_;
  std::mutex complaint_mutex_;
  std::string last_complaint_;
};

}  // namespace murmel::audio
