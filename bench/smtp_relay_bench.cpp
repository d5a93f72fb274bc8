// Handing one message to N recipients through the relay: one transaction whose RCPTs are
// answered one by one (what the relay does), against one transaction per recipient (the
// simpler alternative, one DATA each). The fake relay on loopback reads every body line,
// so the cost of sending the body again is what the ratio shows.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <vector>

#include "server/fake_smtp.h"
#include "server/smtp_send.h"

namespace {

using murmel::server::SendThroughRelay;

std::string Message(std::size_t bytes) {
  std::string message = "From: a@example.org\r\nTo: b@example.org\r\nSubject: x\r\n\r\n";
  const std::string line(76, 'A');
  while (message.size() < bytes) message += line + "\r\n";
  return message;
}

void Relay(benchmark::State& state, bool perRecipient) {
  server_test::FakeSmtp smtp;
  murmel::server::SmtpRelayOptions relay;
  relay.url = smtp.url();
  relay.envelopeFrom = "murmelpost@example.net";
  std::vector<std::string> recipients;
  recipients.reserve(static_cast<std::size_t>(state.range(0)));
  for (int i = 0; i < state.range(0); ++i) recipients.push_back("r" + std::to_string(i) + "@x.org");
  const std::string message = Message(static_cast<std::size_t>(state.range(1)));
  const std::atomic<bool> stop{false};
  for (auto _ : state) {
    if (perRecipient) {
      for (const std::string& one : recipients) {
        SendThroughRelay(relay, {}, {one}, message, stop);
      }
    } else {
      SendThroughRelay(relay, {}, recipients, message, stop);
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OneTransaction(benchmark::State& state) { Relay(state, false); }
void BM_TransactionPerRecipient(benchmark::State& state) { Relay(state, true); }

// 10 recipients; a 64 s voice message is about 140 KiB of e-mail with its MP3.
BENCHMARK(BM_OneTransaction)->Args({10, 140 << 10})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransactionPerRecipient)->Args({10, 140 << 10})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
