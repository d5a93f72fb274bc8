// murmelpost-server: receives voice messages over the transfer protocol and delivers them
// as e-mail into a Maildir outbox, from where a relay thread sends them on over SMTP when
// one is configured; serves the client's help pages over HTTP beside it.
#include <curl/curl.h>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <sys/resource.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalogue.h"
#include "server/delivery.h"
#include "server/delivery_report.h"
#include "server/http_help.h"
#include "server/log.h"
#include "server/metrics.h"
#include "server/options.h"
#include "server/result.h"
#include "server/server.h"
#include "server/smtp_relay.h"
#include "server/store.h"

namespace {

using namespace murmel::server;

constexpr char kProgramName[] = "murmelpost-server";
constexpr int kFailed = 1;
constexpr int kBadOptions = 2;

// Why the server cannot go on, for the log; returns the exit code.
int Fail(std::string_view reason, int exitCode = kFailed) {
  Log(LogLevel::Error, reason);
  return exitCode;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The command line on top of the configuration file.
Result ReadOptions(const std::vector<std::string>& arguments, Options& options) {
  std::filesystem::path config;
  bool named = false;
  Result parsed = ConfigFileOf(arguments, config, named);
  // --help and --version must work whatever the file holds.
  const bool informational = std::any_of(arguments.begin(), arguments.end(), [](const auto& a) {
    return a == "--help" || a == "-h" || a == "--version";
  });
  if (parsed.ok && !informational) parsed = ReadConfigFile(config, named, options);
  if (!parsed.ok) return parsed;
  return ParseOptions(
      arguments,
      {EnvironmentVariable("HOME"), EnvironmentVariable("XDG_STATE_HOME"),
       EnvironmentVariable("STATE_DIRECTORY"), EnvironmentVariable("MURMELPOST_SMTP_PASSWORD")},
      options);
}

// --list: the newest catalogue rows. A reader beside running servers: WAL (or PostgreSQL)
// lets it read while they write.
int ListCatalogue(const StoreLocation& storeAt, std::uint64_t count) {
  const std::unique_ptr<Store> store = MakeStore(storeAt);
  if (std::error_code error; storeAt.kind == StoreLocation::Kind::Sqlite &&
                             !std::filesystem::exists(storeAt.file, error)) {
    return Fail("no catalogue " + store->Describe() +
                ": no server has accepted messages with this state folder "
                "(--state DIR names another)");
  }
  Result read = store->Open(/*mustExist=*/true);
  const auto rows =
      read.ok ? store->Newest(static_cast<int>(count), read) : std::vector<CatalogueRow>{};
  if (!read.ok) return Fail(read.error);
  std::cout << FormatRows(rows);
  return 0;
}

// Every session, its spool files and the rest of the server must fit the open-file limit:
// found out at run time, it would refuse real clients one by one. The soft limit is raised
// as far as needed when the hard limit allows.
Result FitOpenFileLimit(std::size_t maxSessions) {
  const rlim_t need = maxSessions * kDescriptorsPerSession + kDescriptorsReserved;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur >= need) {
    return {};
  }
  const rlim_t soft = limit.rlim_cur;
  if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= need) {
    limit.rlim_cur = need;
    if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) {
      Log(LogLevel::Notice, "raised the open-file limit from " + std::to_string(soft) + " to " +
                                std::to_string(need) + " for --max-sessions " +
                                std::to_string(maxSessions));
      return {};
    }
  }
  return {false, "--max-sessions " + std::to_string(maxSessions) + " needs " +
                     std::to_string(need) + " open files, but the limit is " +
                     std::to_string(soft) + " (hard limit " +
                     (limit.rlim_max == RLIM_INFINITY ? std::string("unlimited")
                                                      : std::to_string(limit.rlim_max)) +
                     "): lower --max-sessions or raise the limit (LimitNOFILE= in the service "
                     "file, ulimit -n)"};
}

DeliveryOptions DeliveryOptionsOf(const Options& options, const StoreLocation& storeAt) {
  DeliveryOptions delivery;
  delivery.mailFrom = options.mailFrom;
  delivery.verifySenders = options.verifySenders;
  delivery.voiceFormat = options.voiceFormat;
  delivery.database = storeAt;
  return delivery;
}

// The state folder and the store, caught up with each other.
Result OpenState(Delivery& delivery) {
  if (Result opened = delivery.Open(); !opened.ok) return opened;
  // Before the relay starts moving files, so that every file it moves has its row.
  const ReconcileSummary found = delivery.Reconcile();
  if (!found.result.ok) return found.result;
  if (found.added + found.updated + found.dropped + found.resumed > 0) {
    Log(LogLevel::Notice,
        "catalogue: " + std::to_string(found.added) + " outbox files had no row and got one, " +
            std::to_string(found.updated) + " rows caught up with their file's folder, " +
            std::to_string(found.dropped) + " unfinished acceptances removed, " +
            std::to_string(found.resumed) + " accepted messages still to compose");
  }
  return {};
}

// The SMTP relay thread with its own connection to the store, where it reads each file's
// recipients and records what became of each. Empty without a relay URL.
struct Relay {
  std::unique_ptr<Store> store;
  std::optional<SmtpRelay> thread;
};

Result StartRelay(const Options& options, const StoreLocation& storeAt, Delivery& delivery,
                  Relay& relay) {
  if (options.smtp.url.empty()) return {};
  // curl's global set-up is not thread-safe: done here, before any thread exists.
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    return {false, "cannot initialise libcurl"};
  }
  // A relay that drops the connection must not kill the server.
  std::signal(SIGPIPE, SIG_IGN);
  relay.store = MakeStore(storeAt);
  if (Result opened = relay.store->Open(); !opened.ok) return opened;
  RelaySchedule schedule;
  schedule.maxLifetime = options.maxQueueLifetime;
  SmtpRelay& thread =
      relay.thread.emplace(delivery.outboxRoot(), options.smtp, schedule, *relay.store,
                           [](const std::string& line) { Log(LogLevel::Info, line); });
  thread.OnUndelivered(ReportsThrough(delivery));
  if (Result started = thread.Start(); !started.ok) return started;
  delivery.OnDelivered([&thread] { thread.Wake(); });
  Log(LogLevel::Info, "relaying e-mail through " + options.smtp.url +
                          (options.smtp.user.empty() ? "" : " as " + options.smtp.user));
  return {};
}

// Help pages are secondary: a busy default port costs only them. A port the operator
// asked for is a configuration error, said at once rather than found by a user later.
Result ListenForHelp(const Options& options, HttpHelpServer& help, bool& listening) {
  listening = false;
  if (!options.http) return {};
  Result bound = help.Listen(options.httpAddress, options.httpPort);
  if (bound.ok || options.httpExplicit) {
    listening = bound.ok;
    return bound;
  }
  Log(LogLevel::Warning,
      bound.error + "; transfer service runs without them (--http PORT picks another port)");
  return {};
}

// Files in new/ wait for the relay (or for whoever reads the outbox).
std::uint64_t QueueDepth(const std::filesystem::path& outbox) {
  std::error_code error;
  std::uint64_t count = 0;
  for (std::filesystem::directory_iterator it(outbox / "new", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return count;
}

// The help pages, the confirmation pages and the operations endpoints; healthy while the
// transfer listener runs and a message could be stored.
void ServeHelpPages(const Options& options, Delivery& delivery, const std::atomic<bool>& serving,
                    HttpHelpServer& help) {
  Log(LogLevel::Notice, "help pages on http port " + std::to_string(help.port()));
  help.ServeOperations(
      [&serving, &options] { return serving && ::access(options.stateDir.c_str(), W_OK) == 0; },
      [&delivery] {
        return ServerMetrics().Render(QueueDepth(delivery.outboxRoot()), delivery.composing());
      });
  delivery.ConfirmLinksAt(options.publicUrl.empty()
                              ? "http://localhost:" + std::to_string(help.port())
                              : options.publicUrl);
  help.ServePictures(delivery.pictures());
  help.ServeSenders(delivery);
  help.Start();
}

// What an operator should know about before clients find it out.
void WarnAboutRefusals(const Options& options, bool helpServed) {
  if (!helpServed) {
    // Activating unconfirmed pictures would let anyone dress up another sender's messages.
    Log(LogLevel::Warning,
        std::string("custom picture registrations") +
            (options.verifySenders ? " and messages from unconfirmed senders" : "") +
            " are refused: their confirmation links need the HTTP pages");
  }
  if (!options.verifySenders) {
    Log(LogLevel::Warning,
        "sender verification is off: messages go out in whatever name a client claims");
  }
}

// The relay first, so that a report it has just handed over is still stored. Before io
// goes: what was submitted finishes, and its replies go nowhere.
void ShutDown(Relay& relay, Delivery& delivery, HttpHelpServer& help) {
  if (relay.thread) relay.thread->Stop();
  delivery.Stop();
  help.Stop();
  if (relay.thread) {
    relay.thread.reset();
    curl_global_cleanup();
  }
}

}  // namespace

// An exception that reaches here is a bug: std::terminate reports it and leaves a core.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
  Options options;
  if (const Result read = ReadOptions({argv + 1, argv + argc}, options); !read.ok) {
    return Fail(read.error, kBadOptions);
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << kProgramName << " " MURMELPOST_VERSION "\n";
    return 0;
  }
  SetLogThreshold(options.logLevel);
  const StoreLocation storeAt = options.database.value_or(
      StoreLocation{StoreLocation::Kind::Sqlite, options.stateDir / kCatalogueFileName, {}});
  if (options.list) return ListCatalogue(storeAt, options.listCount);

  if (const Result fits = FitOpenFileLimit(options.limits.maxSessions); !fits.ok) {
    return Fail(fits.error);
  }
  Delivery delivery(options.stateDir, DeliveryOptionsOf(options, storeAt));
  if (const Result opened = OpenState(delivery); !opened.ok) return Fail(opened.error);
  Relay relay;
  if (const Result started = StartRelay(options, storeAt, delivery, relay); !started.ok) {
    return Fail(started.error);
  }
  asio::io_context io(1);
  Server server(io, options, delivery, [](const std::string& line) { Log(LogLevel::Info, line); });
  if (const Result listening = server.Listen(); !listening.ok) return Fail(listening.error);
  HttpHelpServer help;
  bool helpServed = false;
  if (const Result bound = ListenForHelp(options, help, helpServed); !bound.ok) {
    return Fail(bound.error);
  }
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const std::error_code&, int) {
    sd_notify(0, "STOPPING=1");
    io.stop();
  });
  // Scripts read the transfer port from this line: its form stays as it was.
  Log(LogLevel::Notice, "listening on port " + std::to_string(server.port()) + ", outbox " +
                            delivery.outboxRoot().string());
  std::atomic<bool> serving{false};
  if (helpServed) ServeHelpPages(options, delivery, serving, help);
  WarnAboutRefusals(options, helpServed);

  server.Start();
  serving = true;
  // Both listeners are bound and accepting: the service manager may start what needs us.
  sd_notify(0, "READY=1");
  io.run();
  serving = false;
  ShutDown(relay, delivery, help);
  return 0;
}
