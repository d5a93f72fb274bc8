// Measures, against a private PulseAudio daemon, (1) how long a captured buffer takes from
// the device to the application's MM_WIM_DATA, and (2) the CPU an open, idle input device
// costs (the CPU while recording is client_record_send's, for the whole client). The "device" is a
// pipe source that this program feeds in real time, 20 ms at a time, so the moment each sample
// entered the device is known.
//
//   wave_capture_latency [buffers]      (default 50 buffers of 5120 bytes, 16 s)
#include <fcntl.h>
#include <mmsystem.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/pulse_daemon.h"
#include "platform/message/window_registry.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr WAVEFORMATEX kVoiceFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
constexpr DWORD kBufferSize = 5120;
constexpr int kChunkSamples = 160;  // 20 ms

// CPU seconds of this process and of the daemon (utime + stime from /proc), and the time.
struct CpuSample {
  double self;
  double daemon;
  Clock::time_point at = Clock::now();

  explicit CpuSample(pid_t daemon_pid) : self(static_cast<double>(std::clock()) / CLOCKS_PER_SEC) {
    std::ifstream stat("/proc/" + std::to_string(daemon_pid) + "/stat");
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
      if (i >= 14) ticks += std::stoull(field);
    }
    daemon = static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int buffers = argc > 1 ? std::atoi(argv[1]) : 50;
  wave_test::PulseDaemon daemon;
  std::string why;
  const std::string fifo = daemon.dir() / "mic";
  if (!daemon.Start(why, "load-module module-pipe-source source_name=mic file=" + fifo +
                             " format=s16le rate=8000 channels=1\nset-default-source mic\n")) {
    std::fprintf(stderr, "cannot start a private pulseaudio: %s\n", why.c_str());
    return 1;
  }
  setenv("PULSE_SERVER", daemon.server().c_str(), 1);
  setenv("MURMELPOST_AUDIO", "pulse", 1);
  const HWND window = murmel::message::CreateWindowRecord();

  // 1. Idle open input device: opened, never started, for ten seconds.
  HWAVEIN wave_in = nullptr;
  if (waveInOpen(&wave_in, WAVE_MAPPER, &kVoiceFormat, reinterpret_cast<DWORD_PTR>(window), 0,
                 CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    std::fprintf(stderr, "waveInOpen failed\n");
    return 1;
  }
  const CpuSample idle_start(daemon.pid());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const CpuSample idle_end(daemon.pid());

  // 2. Latency: every 20 ms chunk written into the pipe carries its number in every sample,
  // so the last sample of a returned buffer names the chunk, and the chunk its write time.
  std::array<WAVEHDR, 3> headers{};
  std::vector<BYTE> storage(headers.size() * kBufferSize);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    headers[i].lpData = reinterpret_cast<LPSTR>(&storage[i * kBufferSize]);
    headers[i].dwBufferLength = kBufferSize;
    waveInPrepareHeader(wave_in, &headers[i], sizeof(WAVEHDR));
  }
  std::size_t next = 0;
  auto requeue = [&] {
    waveInAddBuffer(wave_in, &headers[next], sizeof(WAVEHDR));
    next = (next + 2) % 3;
  };
  requeue();
  requeue();
  waveInStart(wave_in);

  const int chunks = buffers * static_cast<int>(kBufferSize) / (2 * kChunkSamples) + 50;
  std::vector<Clock::time_point> written(chunks + 1);
  std::mutex written_mutex;
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    const int fd = open(fifo.c_str(), O_WRONLY);
    Clock::time_point deadline = Clock::now();
    for (int n = 1; fd >= 0 && n <= chunks && !stop; ++n) {
      std::vector<std::int16_t> chunk(kChunkSamples, static_cast<std::int16_t>(n));
      // Stamped before the write: the reader may see the chunk before this thread runs again.
      std::unique_lock lock(written_mutex);
      written.at(n) = Clock::now();
      lock.unlock();
      if (write(fd, chunk.data(), sizeof(std::int16_t) * chunk.size()) < 0) break;
      deadline += std::chrono::milliseconds(20);
      std::this_thread::sleep_until(deadline);
    }
    if (fd >= 0) close(fd);
  });

  std::vector<double> latencies_ms;
  MSG msg;
  while (static_cast<int>(latencies_ms.size()) < buffers && GetMessageW(&msg, nullptr, 0, 0)) {
    if (msg.message != MM_WIM_DATA) continue;
    const Clock::time_point arrived = Clock::now();
    const auto* header = reinterpret_cast<const WAVEHDR*>(msg.lParam);
    std::int16_t last = 0;
    std::memcpy(&last, header->lpData + header->dwBytesRecorded - 2, 2);
    requeue();
    if (last <= 0) continue;  // silence before the feeder started
    std::lock_guard lock(written_mutex);
    const std::chrono::duration<double, std::milli> latency = arrived - written.at(last);
    latencies_ms.push_back(latency.count());
  }
  stop = true;
  feeder.join();
  waveInReset(wave_in);
  for (WAVEHDR& header : headers) waveInUnprepareHeader(wave_in, &header, sizeof(WAVEHDR));
  waveInClose(wave_in);

  std::sort(latencies_ms.begin(), latencies_ms.end());
  const auto percentile = [&](double p) {
    return latencies_ms[static_cast<std::size_t>(
        std::lround(p * static_cast<double>(latencies_ms.size() - 1)))];
  };
  std::printf("capture latency, device to MM_WIM_DATA, %zu buffers of 5120 bytes:\n",
              latencies_ms.size());
  std::printf("  min %.1f ms  median %.1f ms  p95 %.1f ms  max %.1f ms\n", percentile(0),
              percentile(0.5), percentile(0.95), percentile(1));
  const double idle = std::chrono::duration<double>(idle_end.at - idle_start.at).count();
  std::printf("idle open input device, %.1f s: this process %.3f%% of a core, server %.3f%%\n",
              idle, 100 * (idle_end.self - idle_start.self) / idle,
              100 * (idle_end.daemon - idle_start.daemon) / idle);
  murmel::message::DestroyWindowRecord(window);
  return 0;
}
