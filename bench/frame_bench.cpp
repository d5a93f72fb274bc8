// The frame layer's bitwise CRC, in bytes per second. The frame exchange over loopback is
// measured with the whole client by bench/client_frame_rate.py.
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
