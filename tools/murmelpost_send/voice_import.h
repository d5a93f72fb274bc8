// Fills the recorded-voice store from an audio file exactly as a recording would: one
// GSM chunk per 5120-byte PCM buffer, at most 64 s.
#pragma once

#include <string>

namespace murmel::send_tool {

struct VoiceImport {
  bool ok = false;
  std::string error;
  int chunks = 0;
  bool truncated = false;  // the file was longer than a recording may be
};

// Replaces the store (appState.voiceHead ...) with the file's voice and sets recordedBytes
// and recordingAvailable as the recorder's close does. The last partial buffer is padded
// with silence.
VoiceImport ImportVoiceFile(const std::string& path);

}  // namespace murmel::send_tool
