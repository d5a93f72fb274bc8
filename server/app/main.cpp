// murmelpost-server: receives voice messages over the transfer protocol and delivers them
// as e-mail into a Maildir outbox, from where a relay thread sends them on over SMTP when
// one is configured; serves the client's help pages over HTTP beside it.
#include <curl/curl.h>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "server/catalogue.h"
#include "server/delivery.h"
#include "server/delivery_report.h"
#include "server/http_help.h"
#include "server/options.h"
#include "server/server.h"
#include "server/smtp_relay.h"

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
      std::cerr << "murmelpost-server: raised the open-file limit from " << soft << " to " << need
                << " for --max-sessions " << maxSessions << std::endl;
      return true;
    }
  }
  std::cerr << "murmelpost-server: --max-sessions " << maxSessions << " needs " << need
            << " open files, but the limit is " << soft << " (hard limit "
            << (limit.rlim_max == RLIM_INFINITY ? std::string("unlimited")
                                                : std::to_string(limit.rlim_max))
            << "): lower --max-sessions or raise the limit (LimitNOFILE= in the service file, "
               "ulimit -n)\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace murmel::server;
  const char* home = std::getenv("HOME");
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* smtpPassword = std::getenv("MURMELPOST_SMTP_PASSWORD");
  Options options;
  const ParseResult parsed =
      ParseOptions(std::vector<std::string>(argv + 1, argv + argc), home ? home : "",
                   state ? state : "", smtpPassword ? smtpPassword : "", options);
  if (!parsed.ok) {
    std::cerr << "murmelpost-server: " << parsed.error << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.list) {
    // A reader beside a running server: WAL lets it read while the server writes.
    Catalogue catalogue(options.stateDir / kCatalogueFileName);
    if (std::error_code error; !std::filesystem::exists(catalogue.file(), error)) {
      std::cerr << "murmelpost-server: no catalogue " << catalogue.file().string()
                << ": no server has accepted messages with this state folder (--state DIR "
                   "names another)\n";
      return 1;
    }
    IoResult read = catalogue.Open(/*mustExist=*/true);
    const auto rows = read.ok ? catalogue.Newest(static_cast<int>(options.listCount), read)
                              : std::vector<CatalogueRow>{};
    if (!read.ok) {
      std::cerr << "murmelpost-server: " << read.error << "\n";
      return 1;
    }
    std::cout << FormatRows(rows);
    return 0;
  }

  if (!FitOpenFileLimit(options.limits.maxSessions)) return 1;
  DeliveryOptions deliveryOptions{options.mailFrom, options.verifySenders};
  deliveryOptions.voiceFormat = options.voiceFormat;
  Delivery delivery(options.stateDir, deliveryOptions);
  if (const IoResult opened = delivery.Open(); !opened.ok) {
    std::cerr << "murmelpost-server: " << opened.error << "\n";
    return 1;
  }
  // Before the relay starts moving files, so that every file it moves has its row.
  if (const ReconcileSummary found = delivery.Reconcile(); !found.result.ok) {
    std::cerr << "murmelpost-server: " << found.result.error << "\n";
    return 1;
  } else if (found.added + found.updated + found.dropped + found.resumed > 0) {
    std::cerr << "murmelpost-server: catalogue: " << found.added
              << " outbox files had no row and got one, " << found.updated
              << " rows caught up with their file's folder, " << found.dropped
              << " unfinished acceptances removed, " << found.resumed
              << " accepted messages still to compose" << std::endl;
  }
  Catalogue relayCatalogue(options.stateDir / kCatalogueFileName);
  // curl's global set-up is not thread-safe: done here, before any thread exists.
  std::optional<SmtpRelay> relay;
  if (!options.smtp.url.empty()) {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      std::cerr << "murmelpost-server: cannot initialise libcurl\n";
      return 1;
    }
    // A relay that drops the connection must not kill the server.
    std::signal(SIGPIPE, SIG_IGN);
    // The relay thread's own connection: it reads each file's recipients there and
    // records what became of each.
    if (const IoResult opened = relayCatalogue.Open(); !opened.ok) {
      std::cerr << "murmelpost-server: " << opened.error << "\n";
      return 1;
    }
    RelaySchedule schedule;
    schedule.maxLifetime = options.maxQueueLifetime;
    relay.emplace(
        delivery.outboxRoot(), options.smtp, schedule, relayCatalogue,
        [](const std::string& line) { std::cerr << "murmelpost-server: " + line + "\n"; });
    relay->OnUndelivered(ReportsThrough(delivery));
    if (const IoResult started = relay->Start(); !started.ok) {
      std::cerr << "murmelpost-server: " << started.error << "\n";
      return 1;
    }
    delivery.OnDelivered([&relay] { relay->Wake(); });
    std::cerr << "murmelpost-server: relaying e-mail through " << options.smtp.url
              << (options.smtp.user.empty() ? "" : " as " + options.smtp.user) << std::endl;
  }
  asio::io_context io(1);
  Server server(io, options, delivery,
                [](const std::string& line) { std::cerr << line << std::endl; });
  if (const IoResult listening = server.Listen(); !listening.ok) {
    std::cerr << "murmelpost-server: " << listening.error << "\n";
    return 1;
  }
  // Help pages are secondary: a busy default port costs only them. A port the operator
  // asked for is a configuration error, said at once rather than found by a user later.
  HttpHelpServer help;
  bool helpServed = false;
  if (options.http) {
    if (const IoResult bound = help.Listen(options.httpAddress, options.httpPort); bound.ok) {
      helpServed = true;
    } else if (options.httpExplicit) {
      std::cerr << "murmelpost-server: " << bound.error << "\n";
      return 1;
    } else {
      std::cerr << "murmelpost-server: warning: " << bound.error
                << "; transfer service runs without them (--http PORT picks another port)"
                << std::endl;
    }
  }
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const std::error_code&, int) { io.stop(); });
  // Scripts read the transfer port from this line: its form stays as it was.
  std::cerr << "murmelpost-server: listening on port " << server.port() << ", outbox "
            << delivery.outboxRoot().string() << std::endl;
  if (helpServed) {
    std::cerr << "murmelpost-server: help pages on http port " << help.port() << std::endl;
    delivery.ConfirmLinksAt(options.publicUrl.empty()
                                ? "http://localhost:" + std::to_string(help.port())
                                : options.publicUrl);
    help.ServePictures(delivery.pictures());
    help.ServeSenders(delivery);
    help.Start();
  } else {
    // Activating unconfirmed pictures would let anyone dress up another sender's messages.
    std::cerr << "murmelpost-server: custom picture registrations"
              << (options.verifySenders ? " and messages from unconfirmed senders" : "")
              << " are refused: their confirmation links need the HTTP pages" << std::endl;
  }
  if (!options.verifySenders) {
    std::cerr << "murmelpost-server: warning: sender verification is off: messages go out in "
                 "whatever name a client claims"
              << std::endl;
  }
  server.Start();
  io.run();
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
