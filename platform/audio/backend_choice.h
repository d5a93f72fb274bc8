// MURMELPOST_AUDIO picks the backend: "pulse" (the default), "none", or
// "file:in=PATH,out=PATH[,pace=realtime|fast]" (either path may be left out).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/audio/wave_stream.h"

namespace murmel::audio {

struct AudioChoice {
  enum class Kind { kPulse, kFile, kNone };
  Kind kind = Kind::kPulse;
  std::string in_path;
  std::string out_path;
  bool fast = false;  // file only: no pacing, capture waits for buffers instead of dropping
};

// False, with a message that says how to fix it, when the text is not understood.
bool ParseAudioChoice(std::string_view text, AudioChoice& choice, std::string& error);

// The backend for the current value of MURMELPOST_AUDIO. Devices keep the backend they were
// opened with; a changed value takes effect for the next count or open.
std::shared_ptr<WaveBackend> CurrentBackend();

}  // namespace murmel::audio
