// A 64 s voice message (200 chunks, 201 data frames) uploaded to murmelpost-server over
// loopback the way the handheld sends it (three small sends per frame), with the server's
// quick ACKs on and off. The frames-per-second counter is the number to compare; the raw
// socket loop below is the ceiling that loopback itself allows for the same frames.
#include <benchmark/benchmark.h>
#include <netinet/tcp.h>

#include <atomic>
#include <thread>

#include "server/scripted_client.h"

namespace {

using namespace server_test;

void BM_UploadVoiceMessage64s(benchmark::State& state) {
  const bool quickAck = state.range(0) != 0;
  TestServer server({}, quickAck);
  if (!server.ready()) {
    state.SkipWithError("the server did not start");
    return;
  }
  Bytes header(60, 0);
  const Bytes chunk(520, 0x5A);
  std::size_t frames = 0;
  for (auto _ : state) {
    Client client(server.port());
    auto ok = [&](const Bytes& payload) {
      ++frames;
      return client.ExchangeInPieces(payload).starts_with("TROK");
    };
    bool sent = client.Receive().has_value() && ok(B("HELLCEMurmelpost _DEF:2.80.1234")) &&
                ok(LocaleRecord()) && ok(B("TYPE_DEF")) && ok(B("SEND\"B\" <b@example.org>")) &&
                ok(B("RECIc@example.org")) && ok(B("TITLbench")) &&
                ok(B("FLSZ" + std::to_string(60 + 200 * 520))) && ok(B("FLTP0")) &&
                ok(Join(B("FLBG"), header));
    for (int i = 0; sent && i < 200; ++i) sent = ok(Join(B("FLCN"), chunk));
    sent = sent && ok(B("CHCK_DEF2.80.1234")) && ok(B("FINI"));
    if (!sent) {
      state.SkipWithError("the upload was refused");
      break;
    }
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UploadVoiceMessage64s)
    ->ArgName("quickack")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same frames, in the same three sends, answered by a bare blocking loop that only
// reads each frame and writes a fixed "TROK" frame: what loopback costs without the
// server's parsing, coroutines and files. Quick ACKs as in the server, or it measures
// the delayed-ACK timer instead.
class RawEchoLoop {
 public:
  RawEchoLoop() {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 4) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  RawEchoLoop(const RawEchoLoop&) = delete;
  RawEchoLoop& operator=(const RawEchoLoop&) = delete;
  ~RawEchoLoop() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listen_);
  }
  std::uint16_t port() const { return port_; }

 private:
  void Serve() {
    const Bytes reply = Frame(B("TROK"));
    while (!stop_) {
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) return;
      // The opening word, which the client waits for first.
      if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) {
        ::close(fd);
        continue;
      }
      std::uint8_t frame[2048];
      for (;;) {
        if (!ReadExactly(fd, frame, 3)) break;
        const std::size_t length = (std::size_t{frame[0]} << 8) | frame[1];
        if (length > sizeof frame || !ReadExactly(fd, frame, length)) break;
        if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
      }
      ::close(fd);
    }
  }
  static bool ReadExactly(int fd, std::uint8_t* into, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
      const ssize_t n = ::recv(fd, into + got, count - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    return true;
  }

  int listen_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void BM_RawSocketLoop64s(benchmark::State& state) {
  RawEchoLoop loop;
  if (loop.port() == 0) {
    state.SkipWithError("no loopback listener");
    return;
  }
  const Bytes header(60, 0);
  const Bytes chunk(520, 0x5A);
  std::size_t frames = 0;
  for (auto _ : state) {
    Client client(loop.port());
    bool ok = client.Receive().has_value();
    auto send = [&](const Bytes& payload) {
      ++frames;
      ok = ok && client.ExchangeInPieces(payload).starts_with("TROK");
    };
    // The frame sizes of the upload above: 9 commands, the header, 200 chunks, 2 commands.
    for (int i = 0; i < 9; ++i) send(B("TYPE_DEF"));
    send(Join(B("FLBG"), header));
    for (int i = 0; i < 200; ++i) send(Join(B("FLCN"), chunk));
    send(B("CHCK_DEF2.80.1234"));
    send(B("FINI"));
    if (!ok) {
      state.SkipWithError("the loop broke off");
      break;
    }
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawSocketLoop64s)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
