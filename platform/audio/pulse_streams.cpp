#include "platform/audio/pulse_streams.h"

#include <algorithm>

#include "platform/audio/wave_device.h"

namespace murmel::audio::pulse {

namespace {

// 20 ms: small enough that a filled buffer reaches the application promptly, large enough
// that 8 kHz mono costs the server a wake-up only 50 times a second.
constexpr pa_usec_t kFragment = 20 * PA_USEC_PER_MSEC;
// What the server keeps queued ahead of the speaker.
constexpr pa_usec_t kPlaybackLead = 250 * PA_USEC_PER_MSEC;
// After an under-run, how long the sink may take to play out what it holds.
constexpr pa_usec_t kDrainGrace = 500 * PA_USEC_PER_MSEC;

void OnStreamState(pa_stream* /*stream*/, void* userdata) {
  static_cast<PulseConnection*>(userdata)->Signal();
}

void Unref(pa_operation* operation) {
  if (operation != nullptr) pa_operation_unref(operation);
}

}  // namespace

PulseStream::PulseStream(std::shared_ptr<PulseConnection> connection, WaveDevice& device)
    : connection_(std::move(connection)), device_(device) {}

PulseStream::~PulseStream() = default;

pa_sample_spec PulseStream::SampleSpec() const {
  const WAVEFORMATEX& format = device_.format();
  pa_sample_spec sample_format{};
  sample_format.format = format.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  sample_format.rate = format.nSamplesPerSec;
  sample_format.channels = static_cast<std::uint8_t>(format.nChannels);
  return sample_format;
}

pa_stream* PulseStream::NewStream(const char* media_name) {
  pa_proplist* properties = pa_proplist_new();
  // Spoken messages: desktops treat "phone" streams as voice (ducking music, voice filters).
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "phone");
  pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, media_name);
  const pa_sample_spec sample_format = SampleSpec();
  pa_stream* stream = pa_stream_new_with_proplist(connection_->context(), media_name,
                                                  &sample_format, nullptr, properties);
  pa_proplist_free(properties);
  if (stream != nullptr) pa_stream_set_state_callback(stream, OnStreamState, connection_.get());
  return stream;
}

bool PulseStream::WaitReady(pa_stream* stream) {
  connection_->WaitUntil(
      [stream] {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
      },
      kStreamSetupTimeout);
  return pa_stream_get_state(stream) == PA_STREAM_READY;
}

void PulseStream::Disconnect() {
  if (stream_ == nullptr) return;
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

PulseCaptureStream::~PulseCaptureStream() {
  LoopLock lock(connection_->loop());
  halted_ = true;
  Disconnect();
}

bool PulseCaptureStream::Open() {
  LoopLock lock(connection_->loop());
  stream_ = NewStream("Voice message recording");
  if (stream_ == nullptr) return false;
  pa_stream_set_read_callback(stream_, OnRead, this);
  const pa_sample_spec sample_format = SampleSpec();
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(-1);
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragment, &sample_format));
  // Corked until waveInStart: an open, idle device costs the server nothing.
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_record(stream_, nullptr, &attributes, flags) < 0 || !WaitReady(stream_)) {
    Disconnect();
    return false;
  }
  return true;
}

void PulseCaptureStream::Start() {
  LoopLock lock(connection_->loop());
  halted_ = false;
  if (stream_ != nullptr) Unref(pa_stream_cork(stream_, 0, nullptr, nullptr));
}

void PulseCaptureStream::Halt() {
  LoopLock lock(connection_->loop());
  halted_ = true;
  if (stream_ == nullptr) return;
  Unref(pa_stream_cork(stream_, 1, nullptr, nullptr));
  Unref(pa_stream_flush(stream_, nullptr, nullptr));
}

void PulseCaptureStream::OnRead(pa_stream* stream, size_t /*bytes*/, void* userdata) {
  auto* self = static_cast<PulseCaptureStream*>(userdata);
  while (pa_stream_readable_size(stream) > 0) {
    const void* data = nullptr;
    size_t size = 0;
    if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) return;
    if (!self->halted_) {
      if (data == nullptr) {  // a hole in the stream: the server had nothing there
        self->silence_.assign(size, 0);
        data = self->silence_.data();
      }
      self->device_.Capture(static_cast<const BYTE*>(data), size);
    }
    pa_stream_drop(stream);
  }
}

PulsePlaybackStream::~PulsePlaybackStream() {
  LoopLock lock(connection_->loop());
  halted_ = true;
  Teardown();
}

pa_stream* PulsePlaybackStream::Connect() {
  pa_stream* stream = NewStream("Voice message playback");
  if (stream == nullptr) return nullptr;
  pa_stream_set_write_callback(stream, OnWrite, this);
  pa_stream_set_underflow_callback(stream, OnUnderflow, this);
  const pa_sample_spec sample_format = SampleSpec();
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kPlaybackLead, &sample_format));
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragment, &sample_format));
  attributes.fragsize = static_cast<std::uint32_t>(-1);
  // No interpolated timing: it runs ahead of the sink by several milliseconds, and a buffer
  // reported done that early loses its last milliseconds to the reset that usually follows.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr) < 0) {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_unref(stream);
    return nullptr;
  }
  written_ = 0;
  heard_ = 0;
  triggered_at_ = 0;
  drained_at_ = 0;
  return stream;
}

bool PulsePlaybackStream::Open() {
  LoopLock lock(connection_->loop());
  stream_ = Connect();
  if (stream_ == nullptr) return false;
  if (!WaitReady(stream_)) {
    Disconnect();
    return false;
  }
  return true;
}

void PulsePlaybackStream::Start() {
  LoopLock lock(connection_->loop());
  halted_ = false;
  // After a reset the old stream is gone with whatever it still held; the new one counts
  // from zero, as the device does. It asks for audio once it is ready.
  if (stream_ == nullptr) stream_ = Connect();
  if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    Fill(pa_stream_writable_size(stream_));
  }
}

void PulsePlaybackStream::Halt() {
  LoopLock lock(connection_->loop());
  halted_ = true;
  Teardown();
}

void PulsePlaybackStream::Kick() {
  LoopLock lock(connection_->loop());
  if (halted_ || stream_ == nullptr || pa_stream_get_state(stream_) != PA_STREAM_READY) return;
  Fill(pa_stream_writable_size(stream_));
}

void PulsePlaybackStream::Fill(std::size_t wanted) {
  if (wanted == 0 || wanted == static_cast<std::size_t>(-1)) return;
  chunk_.resize(wanted);
  const std::size_t given = device_.Render(chunk_.data(), wanted);
  if (given > 0) {
    pa_stream_write(stream_, chunk_.data(), given, nullptr, 0, PA_SEEK_RELATIVE);
    written_ += given;
    drained_at_ = 0;
    const pa_usec_t next = pa_rtclock_now() + kFragment;
    if (tick_ == nullptr) {
      tick_ = pa_context_rttime_new(connection_->context(), next, OnTick, this);
    } else {
      pa_context_rttime_restart(connection_->context(), tick_, next);
    }
  }
  // Out of audio for now: play what the server holds, even if it is less than it wants
  // before starting, or the end of a message would never be heard.
  if (given < wanted && written_ > triggered_at_) {
    Unref(pa_stream_trigger(stream_, nullptr, nullptr));
    triggered_at_ = written_;
  }
}

void PulsePlaybackStream::ReportPlayed() {
  pa_usec_t time = 0;
  if (pa_stream_get_time(stream_, &time) < 0) return;
  const pa_sample_spec sample_format = SampleSpec();
  heard_ = std::min<std::uint64_t>(pa_usec_to_bytes(time, &sample_format), written_);
  // A server whose clock stalls after an under-run must not keep the last buffer forever.
  if (drained_at_ != 0 && pa_rtclock_now() > drained_at_ + kDrainGrace) heard_ = written_;
  device_.Played(heard_);
}

void PulsePlaybackStream::Teardown() {
  if (timing_ != nullptr) {
    pa_operation_cancel(timing_);
    pa_operation_unref(timing_);
    timing_ = nullptr;
  }
  if (tick_ != nullptr) {
    pa_threaded_mainloop_get_api(connection_->loop())->time_free(tick_);
    tick_ = nullptr;
  }
  Disconnect();
}

void PulsePlaybackStream::OnWrite(pa_stream* /*stream*/, size_t bytes, void* userdata) {
  auto* self = static_cast<PulsePlaybackStream*>(userdata);
  if (!self->halted_) self->Fill(bytes);
}

void PulsePlaybackStream::OnUnderflow(pa_stream* /*stream*/, void* userdata) {
  // Everything written has left the stream; the sink still holds its last part.
  auto* self = static_cast<PulsePlaybackStream*>(userdata);
  self->drained_at_ = pa_rtclock_now();
}

void PulsePlaybackStream::OnTick(pa_mainloop_api* /*api*/, pa_time_event* /*event*/,
                                 const timeval* /*tv*/, void* userdata) {
  auto* self = static_cast<PulsePlaybackStream*>(userdata);
  pa_context_rttime_restart(self->connection_->context(), self->tick_, PA_USEC_INVALID);
  if (self->halted_ || self->stream_ == nullptr || self->timing_ != nullptr) return;
  // A fresh timing report: what the sink has played by now, not an extrapolation.
  self->timing_ = pa_stream_update_timing_info(self->stream_, OnTiming, self);
}

void PulsePlaybackStream::OnTiming(pa_stream* /*stream*/, int success, void* userdata) {
  auto* self = static_cast<PulsePlaybackStream*>(userdata);
  pa_operation_unref(self->timing_);
  self->timing_ = nullptr;
  if (self->halted_ || self->stream_ == nullptr) return;
  if (success != 0) self->ReportPlayed();
  // Tick while written audio waits to be heard; Fill re-arms it after new audio.
  if (self->heard_ < self->written_) {
    pa_context_rttime_restart(self->connection_->context(), self->tick_,
                              pa_rtclock_now() + kFragment);
  }
}

}  // namespace murmel::audio::pulse
