// Record and playback streams on a shared PulseAudio connection. Their callbacks run on the
// connection's loop thread, holding the loop lock; they then take the device's lock.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "platform/audio/pulse_connection.h"
#include "platform/audio/wave_stream.h"

namespace murmel::audio::pulse {

// How long a server may take to set a stream up before the open fails.
constexpr std::chrono::milliseconds kStreamSetupTimeout{5000};

class PulseStream : public WaveStream {
 public:
  PulseStream(std::shared_ptr<PulseConnection> connection, WaveDevice& device);
  ~PulseStream() override;  // derived destructors call Disconnect first

 protected:
  pa_stream* NewStream(const char* media_name);  // loop lock held
  // Waits (loop lock held) until `stream` is ready; false if it failed or timed out.
  bool WaitReady(pa_stream* stream);
  void Disconnect();  // loop lock held
  pa_sample_spec SampleSpec() const;

  std::shared_ptr<PulseConnection> connection_;
  WaveDevice& device_;
  pa_stream* stream_ = nullptr;
  bool halted_ = true;
};

class PulseCaptureStream : public PulseStream {
 public:
  using PulseStream::PulseStream;
  ~PulseCaptureStream() override;
  bool Open();

  void Start() override;
  void Halt() override;
  void Kick() override {}

 private:
  static void OnRead(pa_stream* stream, size_t bytes, void* userdata);
  std::vector<BYTE> silence_;
};

class PulsePlaybackStream : public PulseStream {
 public:
  using PulseStream::PulseStream;
  ~PulsePlaybackStream() override;
  bool Open();

  void Start() override;
  void Halt() override;
  void Kick() override;

 private:
  pa_stream* Connect();           // a new, not yet ready stream; loop lock held
  void Fill(std::size_t wanted);  // loop lock held
  void ReportPlayed();            // loop lock held
  void Teardown();                // loop lock held
  static void OnWrite(pa_stream* stream, size_t bytes, void* userdata);
  static void OnUnderflow(pa_stream* stream, void* userdata);
  static void OnTick(pa_mainloop_api* api, pa_time_event* event, const timeval* tv, void* userdata);
  static void OnTiming(pa_stream* stream, int success, void* userdata);

  std::vector<BYTE> chunk_;
  std::uint64_t written_ = 0;       // bytes given to this stream since it was made
  std::uint64_t heard_ = 0;         // of written_, what has been played
  std::uint64_t triggered_at_ = 0;  // written_ when playback was last forced to start
  pa_usec_t drained_at_ = 0;        // when the server ran out of audio, 0 while it has some
  pa_time_event* tick_ = nullptr;   // reports progress while written audio is unheard
  pa_operation* timing_ = nullptr;  // the timing report asked for by the last tick
};

}  // namespace murmel::audio::pulse
