// murmelpost-load: many handheld clients at once against a transfer server, for its
// benchmarks and crash tests. Prints what was accepted, how fast, and why the rest was not.
#include <sys/resource.h>

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

#include "tools/murmelpost_load/load_client.h"
#include "tools/murmelpost_load/load_options.h"

namespace {

using namespace murmel::load;
using Clock = std::chrono::steady_clock;

// Thousands of connections need thousands of descriptors: take what the hard limit allows.
void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

void RunThreads(asio::io_context& io, int threads) {
  std::vector<std::thread> extra;
  for (int i = 1; i < threads; ++i) extra.emplace_back([&io] { io.run(); });
  io.run();
  for (std::thread& thread : extra) thread.join();
}

double Percentile(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  const auto index =
      static_cast<std::size_t>(std::lround(fraction * static_cast<double>(sorted.size() - 1)));
  return sorted[std::min(index, sorted.size() - 1)];
}

void PrintReasons(const char* what, const std::map<std::string, int>& reasons) {
  for (const auto& [reason, count] : reasons)
    std::printf("  %s %d: %s\n", what, count, reason.c_str());
}

int Count(const std::map<std::string, int>& reasons) {
  int total = 0;
  for (const auto& entry : reasons) total += entry.second;
  return total;
}

int RunMessages(Plan& plan) {
  const LoadOptions& options = plan.options;
  asio::io_context io(options.threads);
  // A benchmark stops a long run when its other load is done: messages under way finish,
  // no new ones start, and the report covers what was sent.
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&plan](const std::error_code& error, int) {
    if (!error) plan.stopping = true;
  });
  std::vector<Tally> tallies(static_cast<std::size_t>(options.clients));
  const auto start = Clock::now();
  std::atomic<int> running{options.clients};
  for (int client = 0; client < options.clients; ++client) {
    auto& tally = tallies[static_cast<std::size_t>(client)];
    asio::co_spawn(io, RunClient(plan, client, tally), [&](const std::exception_ptr&) {
      if (--running == 0) signals.cancel();
    });
  }
  RunThreads(io, options.threads);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  Tally total;
  for (const Tally& tally : tallies) total.Add(tally);
  std::sort(total.latencyMs.begin(), total.latencyMs.end());
  const int wanted = total.attempted;
  std::printf("clients %d, messages %d each, %d voice chunks each", options.clients,
              options.messages, options.chunks);
  if (options.attachment >= 0) std::printf(", attachment %ld bytes", options.attachment);
  std::printf("\naccepted %d of %d in %.3f s: %.1f messages/s\n", total.accepted, wanted, seconds,
              total.accepted / seconds);
  std::printf("latency FINI to TROK: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
              Percentile(total.latencyMs, 0.50), Percentile(total.latencyMs, 0.99),
              total.latencyMs.empty() ? 0.0 : total.latencyMs.back());
  std::printf("refused %d, failed %d\n", Count(total.refused), Count(total.failed));
  PrintReasons("refused", total.refused);
  PrintReasons("failed", total.failed);
  return total.accepted == wanted ? 0 : 1;
}

// Opens the connections a few at a time (a burst of thousands overflows the listen queue
// and costs a second of SYN retry each), holds them, then reports and closes them all.
int RunIdle(const Plan& plan) {
  const LoadOptions& options = plan.options;
  asio::io_context io(options.threads);
  std::vector<std::shared_ptr<void>> held(static_cast<std::size_t>(options.idle));
  std::map<std::string, int> failed;
  std::mutex failedMutex;
  std::atomic<int> next{0};
  std::atomic<int> open{0};
  auto opener = [&]() -> asio::awaitable<void> {
    for (int n = next++; n < options.idle; n = next++) {
      const std::string error = co_await OpenIdle(plan, n, held[static_cast<std::size_t>(n)]);
      if (error.empty()) {
        ++open;
      } else {
        const std::lock_guard lock(failedMutex);
        ++failed[error];
      }
    }
  };
  constexpr int kOpeners = 64;
  const auto start = Clock::now();
  for (int i = 0; i < kOpeners; ++i) asio::co_spawn(io, opener(), asio::detached);
  RunThreads(io, options.threads);
  io.restart();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("idle: %d of %d connections open and greeted after %.2f s, holding %d s\n",
              open.load(), options.idle, seconds, options.holdSeconds);
  PrintReasons("failed", failed);
  std::fflush(stdout);
  // The held connections' executor must run for the server to see them live, which needs
  // nothing from this side: the kernel keeps the sockets open.
  std::this_thread::sleep_for(std::chrono::seconds(options.holdSeconds));
  held.clear();
  return open.load() == options.idle ? 0 : 1;
}

int Run(int argc, char** argv) {
  LoadOptions options;
  if (const ParseResult parsed =
          ParseLoadOptions(std::vector<std::string>(argv + 1, argv + argc), options);
      !parsed.ok) {
    std::cerr << "murmelpost-load: " << parsed.error << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << LoadUsageText();
    return 0;
  }
  RaiseOpenFileLimit();
  asio::io_context resolver_io;
  asio::ip::tcp::resolver resolver(resolver_io);
  std::error_code error;
  const auto found = resolver.resolve(options.host, std::to_string(options.port), error);
  if (error || found.empty()) {
    std::cerr << "murmelpost-load: cannot resolve " << options.host << ": " << error.message()
              << "\n";
    return 2;
  }
  Plan plan;
  plan.options = options;
  plan.server = found.begin()->endpoint();
  PreparePlan(plan);

  std::ofstream answered;
  std::mutex answeredMutex;
  if (!options.answered.empty()) {
    answered.open(options.answered, std::ios::app);
    if (!answered) {
      std::cerr << "murmelpost-load: cannot append to " << options.answered << "\n";
      return 2;
    }
    // Written as each answer arrives, so a run that is cut short still lists its messages.
    plan.onAnswered = [&](const std::string& subject) {
      const std::lock_guard lock(answeredMutex);
      answered << subject << std::endl;
    };
  }
  return options.idle > 0 ? RunIdle(plan) : RunMessages(plan);
}

}  // namespace

int main(int argc, char** argv) {
  // Out of memory or descriptors deep inside Asio: say so instead of aborting.
  try {
    return Run(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "murmelpost-load: " << failure.what() << "\n";
    return 2;
  }
}
