// The frame layer's hot paths: the bitwise CRC, and one data frame with its reply over
// loopback against a peer that acknowledges at once (TCP_QUICKACK after every read).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "support/fake_transfer_server.h"
#include "transfer/frame_layer.h"

namespace {

void BM_FrameCrc16(benchmark::State& state) {
  std::vector<BYTE> bytes(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 31);
  for (auto _ : state) {
    benchmark::DoNotOptimize(FrameCrc16(bytes.data(), static_cast<WORD>(bytes.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
// The largest frame the client sends, and the largest a frame can hold.
BENCHMARK(BM_FrameCrc16)->Arg(1028)->Arg(FRAME_MAX_PAYLOAD);

// The same bytes through a plain copy: the CRC's cost per byte as a ratio to memory speed.
void BM_CopyReference(benchmark::State& state) {
  std::vector<BYTE> source(static_cast<std::size_t>(state.range(0)), 0x5A);
  std::vector<BYTE> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CopyReference)->Arg(1028);

void BM_FrameRoundTrip(benchmark::State& state) {
  murmel::test::FakeTransferServer peer;
  peer.AnswerEveryFrame("TROK").Start();
  WSADATA data;
  WSAStartup(0x0202, &data);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(peer.port());
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    state.SkipWithError("cannot connect to the loopback peer");
    return;
  }
  std::vector<BYTE> payload(static_cast<std::size_t>(state.range(0)), 0x5A);
  std::memcpy(payload.data(), "FLCN", 4);
  BYTE reply[12];
  for (auto _ : state) {
    int capacity = sizeof reply;
    if (SendFrame(s, payload.data(), static_cast<int>(payload.size())) != 0 ||
        ReceiveFrame(s, reply, &capacity) != 0) {
      state.SkipWithError("the exchange failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  closesocket(s);
  WSACleanup();
  peer.Finish();
}
BENCHMARK(BM_FrameRoundTrip)->Arg(4)->Arg(1028)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
