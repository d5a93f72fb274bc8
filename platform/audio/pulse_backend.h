// Wave devices on the PulseAudio server (or PipeWire's pulse service): one device each way,
// the server's default source and sink. No server, no device.
#pragma once

#include <memory>

#include "platform/audio/wave_stream.h"

namespace murmel::audio {

// The process's one PulseAudio backend; it connects on first use and again after the
// server went away.
std::shared_ptr<WaveBackend> MakePulseBackend();

}  // namespace murmel::audio
