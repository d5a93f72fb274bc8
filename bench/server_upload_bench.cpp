// A 64 s voice message (200 chunks, 201 data frames) uploaded to murmelpost-server over
// loopback the way the handheld sends it (three small sends per frame), with the server's
// quick ACKs on and off. The frames-per-second counter is the number to compare; the
// ceiling that loopback itself allows for the same frames is raw_frame_loop's.
#include <benchmark/benchmark.h>

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

}  // namespace
BENCHMARK_MAIN();
