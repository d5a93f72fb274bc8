#include "platform/audio/file_backend.h"

#include <cstdio>

#include "platform/audio/file_streams.h"
#include "platform/audio/wave_device.h"

namespace murmel::audio {

namespace {

// The capture file must hold what the handheld's microphone gives: 8 kHz mono 16-bit.
constexpr WAVEFORMATEX kCaptureFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};

bool IsCaptureFormat(const WAVEFORMATEX& format) {
  return format.wFormatTag == kCaptureFormat.wFormatTag &&
         format.nChannels == kCaptureFormat.nChannels &&
         format.nSamplesPerSec == kCaptureFormat.nSamplesPerSec &&
         format.wBitsPerSample == kCaptureFormat.wBitsPerSample;
}

}  // namespace

FileBackend::FileBackend(std::string in_path, std::string out_path, bool fast)
    : in_path_(std::move(in_path)), out_path_(std::move(out_path)), fast_(fast) {}

UINT FileBackend::DeviceCount(Direction direction) {
  if (direction == Direction::kOutput) return out_path_.empty() ? 0 : 1;
  if (in_path_.empty()) return 0;
  WavReader reader;
  std::string reason;
  if (!reader.Open(in_path_, kCaptureFormat, reason)) {
    Complain("cannot record from " + in_path_ + ": " + reason);
    return 0;
  }
  return 1;
}

MMRESULT FileBackend::Supports(Direction direction, const WAVEFORMATEX& format) {
  if (direction == Direction::kInput && !IsCaptureFormat(format)) return WAVERR_BADFORMAT;
  return MMSYSERR_NOERROR;
}

MMRESULT FileBackend::OpenStream(Direction direction, WaveDevice& device,
                                 std::unique_ptr<WaveStream>& stream) {
  std::string reason;
  if (direction == Direction::kInput) {
    WavReader reader;
    if (!reader.Open(in_path_, device.format(), reason)) {
      Complain("cannot record from " + in_path_ + ": " + reason);
      return MMSYSERR_ERROR;
    }
    stream = std::make_unique<FileCaptureStream>(device, fast_, std::move(reader));
    return MMSYSERR_NOERROR;
  }
  WavWriter writer;
  if (!writer.Create(out_path_, device.format(), reason)) {
    Complain("cannot play into " + out_path_ + ": " + reason);
    return MMSYSERR_ERROR;
  }
  stream = std::make_unique<FilePlaybackStream>(device, fast_, std::move(writer));
  return MMSYSERR_NOERROR;
}

void FileBackend::Complain(const std::string& what) {
  std::lock_guard lock(complaint_mutex_);
  if (what == last_complaint_) return;
  last_complaint_ = what;
  std::fprintf(stderr, "murmelpost: audio: %s\n", what.c_str());
}

}  // namespace murmel::audio
