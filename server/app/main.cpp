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
#include <optional>

#include "server/catalogue.h"
#include "server/delivery.h"
#include "server/delivery_report.h"
#include "server/http_help.h"
#include "server/log.h"
#include "server/metrics.h"
#include "server/options.h"
#include "server/server.h"
#include "server/smtp_relay.h"
#include "server/store.h"

namespace {

// Every session, its spool files and the rest of the server must fit the open-file limit:
// found out at run time, it would refuse real clients one by one. The soft limit is raised
// as far as needed when the hard limit allows.
bool FitOpenFileLimit(std::size_t maxSessions) {
  using namespace murmel::server;
  const rlim_t need = maxSessions * kDescriptorsPerSession + kDescriptorsReserved;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur >= need) {
    return true;
  }
  const rlim_t soft = limit.rlim_cur;
  if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= need) {
    limit.rlim_cur = need;
    if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) {
      Log(LogLevel::Notice, "raised the open-file limit from " + std::to_string(soft) + " to " +
                                std::to_string(need) + " for --max-sessions " +
                                std::to_string(maxSessions));
      return true;
    }
  }
  Log(LogLevel::Error,
      "--max-sessions " + std::to_string(maxSessions) + " needs " + std::to_string(need) +
          " open files, but the limit is " + std::to_string(soft) + " (hard limit " +
          (limit.rlim_max == RLIM_INFINITY ? std::string("unlimited")
                                           : std::to_string(limit.rlim_max)) +
          "): lower --max-sessions or raise the limit (LimitNOFILE= in the service file, "
          "ulimit -n)");
  return false;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The command line on top of the configuration file; false after reporting why not.
bool ReadOptions(const std::vector<std::string>& arguments, murmel::server::Options& options) {
  using namespace murmel::server;
  std::filesystem::path config;
  bool named = false;
  Result parsed = ConfigFileOf(arguments, config, named);
  // --help and --version must work whatever the file holds.
  const bool informational = std::any_of(arguments.begin(), arguments.end(), [](const auto& a) {
    return a == "--help" || a == "-h" || a == "--version";
  });
  if (parsed.ok && !informational) parsed = ReadConfigFile(config, named, options);
  if (parsed.ok) {
    parsed = ParseOptions(
        arguments,
        {EnvironmentVariable("HOME"), EnvironmentVariable("XDG_STATE_HOME"),
         EnvironmentVariable("STATE_DIRECTORY"), EnvironmentVariable("MURMELPOST_SMTP_PASSWORD")},
        options);
  }
  if (!parsed.ok) Log(LogLevel::Error, parsed.error);
  return parsed.ok;
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

}  // namespace

int main(int argc, char** argv) {
  using namespace murmel::server;
  Options options;
  if (!ReadOptions(std::vector<std::string>(argv + 1, argv + argc), options)) return 2;
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "murmelpost-server " MURMELPOST_VERSION "\n";
    return 0;
  }
  SetLogThreshold(options.logLevel);
  const StoreLocation storeAt = options.database.value_or(
      StoreLocation{StoreLocation::Kind::Sqlite, options.stateDir / kCatalogueFileName, {}});
  if (options.list) {
    // A reader beside running servers: WAL (or PostgreSQL) lets it read while they write.
    const std::unique_ptr<Store> store = MakeStore(storeAt);
    if (std::error_code error; storeAt.kind == StoreLocation::Kind::Sqlite &&
                               !std::filesystem::exists(storeAt.file, error)) {
      Log(LogLevel::Error, "no catalogue " + store->Describe() +
                               ": no server has accepted messages with this state folder "
                               "(--state DIR names another)");
      return 1;
    }
    Result read = store->Open(/*mustExist=*/true);
    const auto rows = read.ok ? store->Newest(static_cast<int>(options.listCount), read)
                              : std::vector<CatalogueRow>{};
    if (!read.ok) {
      Log(LogLevel::Error, read.error);
      return 1;
    }
    std::cout << FormatRows(rows);
    return 0;
  }

  if (!FitOpenFileLimit(options.limits.maxSessions)) return 1;
  DeliveryOptions deliveryOptions;
  deliveryOptions.mailFrom = options.mailFrom;
  deliveryOptions.verifySenders = options.verifySenders;
  deliveryOptions.voiceFormat = options.voiceFormat;
  deliveryOptions.database = storeAt;
  Delivery delivery(options.stateDir, deliveryOptions);
  if (const Result opened = delivery.Open(); !opened.ok) {
    Log(LogLevel::Error, opened.error);
    return 1;
  }
  // Before the relay starts moving files, so that every file it moves has its row.
  if (const ReconcileSummary found = delivery.Reconcile(); !found.result.ok) {
    Log(LogLevel::Error, found.result.error);
    return 1;
  } else if (found.added + found.updated + found.dropped + found.resumed > 0) {
    Log(LogLevel::Notice,
        "catalogue: " + std::to_string(found.added) + " outbox files had no row and got one, " +
            std::to_string(found.updated) + " rows caught up with their file's folder, " +
            std::to_string(found.dropped) + " unfinished acceptances removed, " +
            std::to_string(found.resumed) + " accepted messages still to compose");
  }
  const std::unique_ptr<Store> relayStore = MakeStore(storeAt);
  // curl's global set-up is not thread-safe: done here, before any thread exists.
  std::optional<SmtpRelay> relay;
  if (!options.smtp.url.empty()) {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      Log(LogLevel::Error, "cannot initialise libcurl");
      return 1;
    }
    // A relay that drops the connection must not kill the server.
    std::signal(SIGPIPE, SIG_IGN);
    // The relay thread's own connection: it reads each file's recipients there and
    // records what became of each.
    if (const Result opened = relayStore->Open(); !opened.ok) {
      Log(LogLevel::Error, opened.error);
      return 1;
    }
    RelaySchedule schedule;
    schedule.maxLifetime = options.maxQueueLifetime;
    relay.emplace(delivery.outboxRoot(), options.smtp, schedule, *relayStore,
                  [](const std::string& line) { Log(LogLevel::Info, line); });
    relay->OnUndelivered(ReportsThrough(delivery));
    if (const Result started = relay->Start(); !started.ok) {
      Log(LogLevel::Error, started.error);
      return 1;
    }
    delivery.OnDelivered([&relay] { relay->Wake(); });
    Log(LogLevel::Info, "relaying e-mail through " + options.smtp.url +
                            (options.smtp.user.empty() ? "" : " as " + options.smtp.user));
  }
  asio::io_context io(1);
  Server server(io, options, delivery, [](const std::string& line) { Log(LogLevel::Info, line); });
  if (const Result listening = server.Listen(); !listening.ok) {
    Log(LogLevel::Error, listening.error);
    return 1;
  }
  // Help pages are secondary: a busy default port costs only them. A port the operator
  // asked for is a configuration error, said at once rather than found by a user later.
  HttpHelpServer help;
  bool helpServed = false;
  if (options.http) {
    if (const Result bound = help.Listen(options.httpAddress, options.httpPort); bound.ok) {
      helpServed = true;
    } else if (options.httpExplicit) {
      Log(LogLevel::Error, bound.error);
      return 1;
    } else {
      Log(LogLevel::Warning,
          bound.error + "; transfer service runs without them (--http PORT picks another port)");
    }
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
  if (helpServed) {
    Log(LogLevel::Notice, "help pages on http port " + std::to_string(help.port()));
    // Healthy while the transfer listener runs and a message could be stored.
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
  } else {
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
  server.Start();
  serving = true;
  // Both listeners are bound and accepting: the service manager may start what needs us.
  sd_notify(0, "READY=1");
  io.run();
  serving = false;
  // The relay first, so that a report it has just handed over is still stored. Before io
  // goes: what was submitted finishes, and its replies go nowhere.
  if (relay) relay->Stop();
  delivery.Stop();
  help.Stop();
  if (relay) {
    relay.reset();
    curl_global_cleanup();
  }
  return 0;
}
