// The frame layer's bitwise CRC against a plain copy. A frame's round trip over loopback is
// measured with the whole client by bench/client_frame_rate.py (against raw_frame_peer).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

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

}  // namespace

BENCHMARK_MAIN();
