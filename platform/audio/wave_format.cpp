#include "platform/audio/wave_format.h"

namespace murmel::audio {

MMRESULT CheckPcmFormat(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return WAVERR_BADFORMAT;
  if (format.nChannels != 1 && format.nChannels != 2) return WAVERR_BADFORMAT;
  if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return WAVERR_BADFORMAT;
  if (format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 192000) return WAVERR_BADFORMAT;
  const DWORD block_align = format.nChannels * format.wBitsPerSample / 8;
  if (format.nBlockAlign != block_align) return WAVERR_BADFORMAT;
  if (format.nAvgBytesPerSec != block_align * format.nSamplesPerSec) return WAVERR_BADFORMAT;
  return MMSYSERR_NOERROR;
}

void FillPosition(const WAVEFORMATEX& format, std::uint64_t bytes, MMTIME& time) {
  // The platform's counters are 32 bits wide and wrap.
  switch (time.wType) {
    case TIME_SAMPLES:
      time.u.sample = static_cast<DWORD>(bytes / format.nBlockAlign);
      break;
    case TIME_MS:
      time.u.ms = static_cast<DWORD>(bytes * 1000 / format.nAvgBytesPerSec);
      break;
    default:
      time.wType = TIME_BYTES;
      time.u.cb = static_cast<DWORD>(bytes);
      break;
  }
}

}  // namespace murmel::audio
