// The network's own cost of the client's frame pattern: raw sockets, no CRC, no platform
// layer. Per frame the client writes header, payload and trailer as three send() calls
// (Nagle on, as the client leaves it) and reads the 9-byte reply in two recv() calls; the
// peer sets TCP_QUICKACK after every read, as murmelpost-server does. Its frames per second
// is the ceiling that murmelpost-send's own rate is compared with (bench/client_frame_rate.py).
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "raw_frame_peer.h"

namespace {

using namespace raw_frames;

// state.range(0) frames of state.range(1) payload bytes per iteration, one connection.
void BM_RawFrameLoop(benchmark::State& state) {
  sockaddr_in address{};
  const int listener = ListenOnLoopback(address);
  if (listener < 0) {
    state.SkipWithError("cannot listen on loopback");
    return;
  }
  std::thread peer([listener] {
    if (const int fd = ::accept(listener, nullptr, nullptr); fd >= 0) AnswerFrames(fd);
  });
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    state.SkipWithError("cannot connect");
  }
  const auto frames = state.range(0);
  const std::size_t payload = static_cast<std::size_t>(state.range(1));
  std::vector<std::uint8_t> frame(payload + 5, 0x5A);
  // Only the length matters to the peer; it checks neither the header check nor the CRC.
  frame[0] = static_cast<std::uint8_t>((payload + 2) >> 8);
  frame[1] = static_cast<std::uint8_t>((payload + 2) & 0xFF);
  std::uint8_t reply[9];
  for (auto _ : state) {
    for (std::int64_t i = 0; i < frames; ++i) {
      if (!WriteAll(fd, frame.data(), 3) || !WriteAll(fd, frame.data() + 3, payload) ||
          !WriteAll(fd, frame.data() + 3 + payload, 2) || !ReadExactly(fd, reply, 3) ||
          !ReadExactly(fd, reply + 3, 6)) {
        state.SkipWithError("the exchange failed");
        break;
      }
    }
  }
  ::close(fd);
  peer.join();
  ::close(listener);
  state.SetItemsProcessed(state.iterations() * frames);
  state.counters["frames_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * frames), benchmark::Counter::kIsRate);
}
// A 64 s voice message: 207 frames of 524-byte payloads as murmelpost-send sends it, and
// 215 frames of 1033 bytes (the largest data frames).
BENCHMARK(BM_RawFrameLoop)->Args({207, 524})->Args({215, 1033})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
