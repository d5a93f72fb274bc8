#include "server/server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <asio/async_result.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <cerrno>
#include <memory>

#include "server/address.h"
#include "server/frame_codec.h"
#include "server/listener.h"
#include "server/metrics.h"
#include "server/session.h"

namespace murmel::server {
namespace {

constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);

// Held messages are looked at this often; a confirmation expires them itself first.
constexpr auto kExpiryInterval = std::chrono::minutes(10);
// How soon a confirmation on another server sharing the store frees the held messages here.
constexpr auto kReleaseInterval = std::chrono::seconds(2);
// How often the message counts go to and come from the store: the servers sharing it may
// together accept what each accepts from one sender in this time beyond the limit.
constexpr auto kShareInterval = std::chrono::seconds(1);
// Summaries of rate-limited log lines appear at most this long after their minute.
constexpr auto kLogFlushInterval = std::chrono::seconds(10);
// Out of descriptors, accepting waits this long, doubling up to the longest pause.
constexpr std::chrono::milliseconds kFirstAcceptPause{10};
constexpr std::chrono::milliseconds kLongestAcceptPause{1000};

// The peer's IP address as the e-mail's trace shows it: IPv4 clients of the dual-stack
// listener in their own form, not as ::ffff:a.b.c.d.
std::string PeerAddress(const asio::ip::tcp::endpoint& peer) {
  const asio::ip::address address = peer.address();
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
  }
  return address.to_string();
}

// Hands the message to the delivery threads; resumes on the connection's own executor once
// it is durable or refused, so the transfer thread never waits for the disk.
asio::awaitable<Acceptance> AsyncAccept(Delivery& delivery, Message message,
                                        std::string clientAddress) {
  auto initiate = [&delivery](auto handler, Message&& message, std::string&& clientAddress) {
    auto shared = std::make_shared<decltype(handler)>(std::move(handler));
    delivery.Submit(std::move(message), std::move(clientAddress), [shared](Acceptance result) {
      const auto executor = asio::get_associated_executor(*shared);
      asio::post(executor,
                 [shared, result = std::move(result)]() mutable { (*shared)(std::move(result)); });
    });
  };
  co_return co_await asio::async_initiate<decltype(asio::use_awaitable), void(Acceptance)>(
      initiate, asio::use_awaitable, std::move(message), std::move(clientAddress));
}

}  // namespace

struct Server::Connection {
  using Clock = std::chrono::steady_clock;

  Connection(asio::ip::tcp::socket s, const Options& options)
      : socket(std::move(s)), timer(socket.get_executor()), options(options) {}

  // Linux re-enables delayed ACKs after each read; without this the client's three small
  // sends per frame wait out the 40 ms delayed-ACK timer on every frame.
  void QuickAck() {
    if (!options.quickAck) return;
    const int on = 1;
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  }

  // A timestamp only: moving the timer here would wake the watchdog on every frame, some
  // 215 times for one voice message.
  void Touch() { lastRead = Clock::now(); }

  // Closes the socket once the connection has been silent for the idle time or has lasted
  // its lifetime, whichever comes first; a read in between only makes it sleep again.
  // self holds the connection for as long as this loop may touch it.
  static asio::awaitable<void> Watchdog(std::shared_ptr<Connection> self) {
    const Limits& limits = self->options.limits;
    const Clock::time_point over = self->started + limits.maxSessionTime;
    for (;;) {
      const Clock::time_point idle = self->lastRead + limits.idleTimeout;
      if (const Clock::time_point now = Clock::now(); now >= over || now >= idle) {
        self->ended = now >= over ? "session time over" : "idle too long";
        std::error_code ignored;
        self->socket.close(ignored);
        co_return;
      }
      self->timer.expires_at(std::min(idle, over));
      auto [error] = co_await self->timer.async_wait(kNoThrow);
      if (error || !self->socket.is_open()) co_return;  // the session ended first
    }
  }

  asio::ip::tcp::socket socket;
  asio::steady_timer timer;
  const Options& options;
  std::string address;  // the peer's IP address
  Clock::time_point started = Clock::now(), lastRead = started;
  std::string ended;  // why the watchdog closed the socket
  std::size_t frames = 0;
  std::size_t bytesIn = 0;
};

namespace {

// The peer learns at once that it was refused, where the greeting would be. Sent without
// waiting: a fresh socket's buffer takes four bytes, and a peer that reads nothing must
// not hold a coroutine.
void RefuseAtOnce(asio::ip::tcp::socket& socket) {
  static const std::vector<std::uint8_t> frame = EncodeFrame(kReplyRefused);
  std::error_code ignored;
  socket.non_blocking(true, ignored);
  socket.send(asio::buffer(frame), 0, ignored);
  socket.close(ignored);
}

// A sender over its hourly count is refused at "SEND", before it uploads anything.
Decision CheckSender(Fairness& fairness, const std::string& address,
                     std::span<const std::uint8_t> payload, const Message& message,
                     Decision decision) {
  static constexpr std::string_view kSend = "SEND";
  if (decision.kind != Decision::Kind::Reply || payload.size() < kSend.size() ||
      !std::equal(kSend.begin(), kSend.end(), payload.begin())) {
    return decision;
  }
  std::string refusal = fairness.CheckSender(address, AddressKey(message.sender.address));
  return refusal.empty() ? decision : Refuse(std::move(refusal));
}

// Errors that say the process or the system is out of descriptors or buffers: the
// pending connection stays queued, so accepting again at once would only spin.
bool OutOfDescriptors(const std::error_code& error) {
  // Asio reports errno values in its own category, which std::errc does not match.
  if (error.category() != asio::error::get_system_category()) return false;
  const int value = error.value();
  return value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM;
}

}  // namespace

Server::Server(asio::io_context& io, const Options& options, Delivery& delivery, LogSink log)
    : io_(io),
      options_(options),
      delivery_(delivery),
      log_(std::move(log)),
      acceptor_(io),
      fairness_(options_.limits),
      logLimit_(log_) {}

Result Server::Listen() {
  std::error_code error;
  const auto address = asio::ip::make_address(options_.listenAddress, error);
  if (error) return {false, "cannot listen on " + options_.listenAddress + ": not an address"};
  if (error = OpenListener(acceptor_, {address, options_.port}); error) {
    return {false, "cannot listen on " + options_.listenAddress + " port " +
                       std::to_string(options_.port) + ": " + error.message()};
  }
  return {};
}

std::uint16_t Server::port() const {
  std::error_code error;
  return acceptor_.local_endpoint(error).port();
}

void Server::Start() {
  asio::co_spawn(io_, AcceptLoop(), asio::detached);
  asio::co_spawn(io_, Repeat(kExpiryInterval, [this] { SweepHeld(false); }), asio::detached);
  if (delivery_.sharedStore()) {
    asio::co_spawn(io_, Repeat(kReleaseInterval, [this] { SweepHeld(true); }), asio::detached);
    asio::co_spawn(io_, Repeat(kShareInterval, [this] { ShareRates(); }), asio::detached);
  }
  asio::co_spawn(io_, Repeat(kLogFlushInterval, [this] { logLimit_.Flush(); }), asio::detached);
}

asio::awaitable<void> Server::Repeat(std::chrono::steady_clock::duration interval,
                                     std::function<void()> tick) {
  asio::steady_timer timer(io_);
  for (;;) {
    tick();
    timer.expires_after(interval);
    if (auto [error] = co_await timer.async_wait(kNoThrow); error) co_return;
  }
}

void Server::ShareRates() {
  if (sharing_) return;  // the last exchange is still waiting for the store
  sharing_ = true;
  std::vector<RateCount> added = fairness_.TakeUnshared();
  delivery_.RunSerially([this, added = std::move(added), fromHour = fairness_.OldestHour()] {
    Result result;
    std::vector<RateCount> totals = delivery_.ShareRates(added, fromHour, rateSince_, result);
    asio::post(io_, [this, added, totals = std::move(totals), result] {
      sharing_ = false;
      if (result.ok) {
        fairness_.Shared(totals);
        return;
      }
      fairness_.KeepUnshared(added);
      logLimit_.Log("unshared counts", "cannot share the message counts: " + result.error);
    });
  });
}

void Server::SweepHeld(bool release) {
  delivery_.RunSerially([this, release] {
    Result result;
    const int count = release ? delivery_.ReleaseHeld(result) : delivery_.ExpireHeld(result);
    asio::post(io_, [this, release, count, result] {
      if (count > 0) {
        log_((release ? "released " : "expired ") + std::to_string(count) +
             (release ? " held messages whose sender confirmed on another server"
                      : " held messages whose sender did not confirm"));
      }
      if (!result.ok) {
        log_(std::string(release ? "cannot release" : "cannot expire") +
             " held messages: " + result.error);
      }
    });
  });
}

asio::awaitable<void> Server::AcceptLoop() {
  asio::steady_timer pause(io_);
  std::chrono::milliseconds backoff{0};
  while (acceptor_.is_open()) {
    auto [error, socket] = co_await acceptor_.async_accept(kNoThrow);
    if (error == asio::error::operation_aborted) co_return;
    if (!error) {
      backoff = {};
      asio::co_spawn(io_, RunConnection(std::move(socket)), asio::detached);
      continue;
    }
    if (!OutOfDescriptors(error)) {
      logLimit_.Log("failed accepts", "cannot accept a connection: " + error.message());
      continue;
    }
    // Wait for sessions to end and give their descriptors back; one line per pause.
    if (backoff == std::chrono::milliseconds{0}) {
      logLimit_.Log("failed accepts", "cannot accept connections: " + error.message() + " (" +
                                          std::to_string(active_) +
                                          " sessions open); pausing accepts until one succeeds");
    }
    backoff = std::clamp(backoff * 2, kFirstAcceptPause, kLongestAcceptPause);
    pause.expires_after(backoff);
    if (auto [stopped] = co_await pause.async_wait(kNoThrow); stopped) co_return;
  }
}

asio::awaitable<void> Server::RunConnection(asio::ip::tcp::socket socket) {
  std::error_code unknown;
  const asio::ip::tcp::endpoint endpoint = socket.remote_endpoint(unknown);
  const std::string address = unknown ? std::string() : PeerAddress(endpoint);
  const std::string peer =
      unknown ? "unknown peer" : address + ":" + std::to_string(endpoint.port());
  const std::string refusal = active_ >= options_.limits.maxSessions
                                  ? std::to_string(active_) + " sessions already open"
                                  : fairness_.Admit(address);
  if (!refusal.empty()) {
    RefuseAtOnce(socket);
    ServerMetrics().Refuse(Refusal::SessionCap);
    logLimit_.Log("refused connections", peer + " refused: " + refusal);
    co_return;
  }
  ++active_;
  ++ServerMetrics().sessionsOpen;
  auto connection = std::make_shared<Connection>(std::move(socket), options_);
  connection->address = address;
  asio::co_spawn(io_, Connection::Watchdog(connection), asio::detached);

  const std::string outcome = co_await Converse(*connection);

  std::error_code ignored;
  connection->socket.close(ignored);
  connection->timer.cancel();
  --active_;
  --ServerMetrics().sessionsOpen;
  fairness_.Leave(address);
  const bool delivered = outcome.starts_with("accepted");
  std::string line = peer + " ";
  if (connection->ended.empty()) {
    line += outcome;
  } else {
    line += delivered ? outcome + ", then " + connection->ended : connection->ended;
  }
  line += " (" + std::to_string(connection->frames) + " frames, " +
          std::to_string(connection->bytesIn) + " bytes)";
  // Accepted messages are few (their rates are capped); failed sessions are not.
  if (delivered) {
    log_(line);
  } else {
    logLimit_.Log("sessions without a message", line);
  }
}

// GCC 12 sees the coroutine frame's allocation inlined down to ::operator new but not its
// matching awaitable_frame_base::operator delete, and warns about a pair that matches.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
asio::awaitable<std::string> Server::Converse(Connection& connection) {
  auto send = [&](std::span<const std::uint8_t> payload) -> asio::awaitable<bool> {
    const auto frame = EncodeFrame(payload);
    auto [error, written] =
        co_await asio::async_write(connection.socket, asio::buffer(frame), kNoThrow);
    co_return !error;
  };
  auto read = [&](std::span<std::uint8_t> into, bool quickAck) -> asio::awaitable<bool> {
    auto [error, got] = co_await asio::async_read(connection.socket,
                                                  asio::buffer(into.data(), into.size()), kNoThrow);
    if (error) co_return false;
    if (quickAck) connection.QuickAck();
    connection.Touch();
    connection.bytesIn += got;
    co_return true;
  };

  if (!co_await send(kReplyOk)) co_return "lost before the greeting";

  Session session(options_.limits, delivery_.spoolFolder());
  std::array<std::uint8_t, kFrameHeaderSize> header{};
  std::vector<std::uint8_t> body;
  std::string accepted;
  for (;;) {
    // Once a frame: the ACK that the header's read pushes out releases the client's payload
    // and trailer, which its Nagle algorithm holds back until then.
    if (!co_await read(header, true)) {
      co_return accepted.empty() ? "closed without a message" : accepted;
    }
    std::size_t bodyLength = 0;
    if (const FrameError error =
            ParseFrameHeader(header, options_.limits.maxFramePayload, bodyLength);
        error != FrameError::None) {
      ServerMetrics().Refuse(Refusal::MalformedFrame);
      co_return std::string("ended: ") + Describe(error);
    }
    body.resize(bodyLength);
    if (!co_await read(body, false)) co_return "lost inside a frame";
    if (const FrameError error = CheckFrameBody(body); error != FrameError::None) {
      ServerMetrics().Refuse(Refusal::MalformedFrame);
      co_return std::string("ended: ") + Describe(error);
    }
    ++connection.frames;
    const std::span<const std::uint8_t> payload(body.data(), bodyLength - kFrameTrailerSize);
    if (!accepted.empty()) {
      co_await send(kReplyRefused);
      co_return accepted + ", then ended: a frame after \"FINI\"";
    }

    Decision decision = session.Handle(payload);
    decision =
        CheckSender(fairness_, connection.address, payload, session.message(), std::move(decision));
    if (decision.kind == Decision::Kind::Finish) {
      const std::string senderKey = AddressKey(session.message().sender.address);
      const auto finishing = std::chrono::steady_clock::now();
      const Acceptance delivered =
          co_await AsyncAccept(delivery_, session.TakeMessage(), connection.address);
      ServerMetrics().acceptanceSeconds.Observe(std::chrono::steady_clock::now() - finishing);
      if (!delivered.result.ok) {
        decision = Refuse("not stored: " + delivered.result.error);
      } else {
        accepted = "accepted " + delivered.file.string() +
                   (delivered.held ? " (held until the sender confirms the address)" : "");
        fairness_.Accepted(connection.address, senderKey);
        ++ServerMetrics().accepted;
      }
    }
    if (!co_await send(decision.reply)) co_return "lost while replying";
    if (decision.kind == Decision::Kind::Refuse) {
      ServerMetrics().Refuse(decision.reason.starts_with("not stored") ? Refusal::NotStored
                                                                       : Refusal::Protocol);
      co_return "refused: " + decision.reason;
    }
  }
}

#pragma GCC diagnostic pop

}  // namespace murmel::server
