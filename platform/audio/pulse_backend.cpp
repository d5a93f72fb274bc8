#include "platform/audio/pulse_backend.h"

#include <mutex>
#include <string>

#include "platform/audio/pulse_connection.h"
#include "platform/audio/pulse_streams.h"

namespace murmel::audio {

namespace {

using pulse::LoopLock;
using pulse::PulseConnection;

// A server that accepts the connection but does not answer must not freeze start-up.
constexpr std::chrono::milliseconds kConnectTimeout{3000};
constexpr std::chrono::milliseconds kQueryTimeout{3000};

class PulseBackend : public WaveBackend {
 public:
  UINT DeviceCount(Direction direction) override {
    std::shared_ptr<PulseConnection> connection = Connection();
    if (!connection) return 0;
    std::string sink;
    std::string source;
    LoopLock lock(connection->loop());
    if (!connection->QueryDefaults(sink, source, kQueryTimeout)) return 0;
    return (direction == Direction::kInput ? source : sink).empty() ? 0 : 1;
  }

  MMRESULT Supports(Direction, const WAVEFORMATEX&) override {
    return MMSYSERR_NOERROR;  // the server converts any PCM the devices accept
  }

  MMRESULT OpenStream(Direction direction, WaveDevice& device,
                      std::unique_ptr<WaveStream>& stream) override {
    std::shared_ptr<PulseConnection> connection = Connection();
    if (!connection) return MMSYSERR_NODRIVER;
    if (direction == Direction::kInput) {
      auto capture = std::make_unique<pulse::PulseCaptureStream>(connection, device);
      if (!capture->Open()) return MMSYSERR_ERROR;
      stream = std::move(capture);
    } else {
      auto playback = std::make_unique<pulse::PulsePlaybackStream>(connection, device);
      if (!playback->Open()) return MMSYSERR_ERROR;
      stream = std::move(playback);
    }
    return MMSYSERR_NOERROR;
  }

 private:
  // The live connection, made again when the server has gone away in between.
  std::shared_ptr<PulseConnection> Connection() {
    std::lock_guard lock(mutex_);
    if (connection_) {
      LoopLock loop_lock(connection_->loop());
      if (connection_->Ready()) return connection_;
    }
    connection_ = PulseConnection::Connect(kConnectTimeout);
    return connection_;
  }

  std::mutex mutex_;
  std::shared_ptr<PulseConnection> connection_;
};

}  // namespace

std::shared_ptr<WaveBackend> MakePulseBackend() {
  static const std::shared_ptr<WaveBackend> backend = std::make_shared<PulseBackend>();
  return backend;
}

}  // namespace murmel::audio
