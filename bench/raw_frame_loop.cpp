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

namespace {

bool ReadExactly(int fd, std::uint8_t* into, std::size_t count) {
  while (count > 0) {
    const ssize_t got = ::recv(fd, into, count, 0);
    if (got <= 0) return false;
    into += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes += sent;
    count -= static_cast<std::size_t>(sent);
  }
  return true;
}

void QuickAck(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Reads header and body of each frame and answers every one with a "TROK" frame.
void Answer(int listener) {
  const int fd = ::accept(listener, nullptr, nullptr);
  if (fd < 0) return;
  const std::uint8_t reply[] = {0x00, 0x06, 0x6A, 'T', 'R', 'O', 'K', 0x06, 0x54};
  std::vector<std::uint8_t> body(65535);
  for (;;) {
    std::uint8_t header[3];
    if (!ReadExactly(fd, header, 3)) break;
    QuickAck(fd);
    const std::size_t length = (std::size_t{header[0]} << 8) | header[1];
    if (!ReadExactly(fd, body.data(), length)) break;
    QuickAck(fd);
    if (!WriteAll(fd, reply, sizeof reply)) break;
  }
  ::close(fd);
}

// state.range(0) frames of state.range(1) payload bytes per iteration, one connection.
void BM_RawFrameLoop(benchmark::State& state) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    state.SkipWithError("cannot listen on loopback");
    return;
  }
  std::thread peer(Answer, listener);
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
