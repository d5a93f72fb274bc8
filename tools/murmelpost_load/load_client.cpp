#include "tools/murmelpost_load/load_client.h"

#include <algorithm>
#include <asio/experimental/as_tuple.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <string_view>
#include <system_error>

#include "audio/wav_header.h"
#include "server/frame_codec.h"
#include "state/voice_units.h"

namespace murmel::load {
namespace {

constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);
constexpr std::size_t kChunkSize = 1024;
constexpr std::size_t kMaxReply = 1024;
constexpr int kUploadVoice = 0;
constexpr int kUploadFile = 10;
constexpr int kPcmBytesPerBlock = 640;  // 320 samples of 16 bits behind each GSM block

Bytes B(std::string_view text) { return {text.begin(), text.end()}; }

// A client on code page 1252 at UTC+1, English, "Mr.".
Bytes LocaleRecord() {
  return {'L',  'O',  'C',  'L',  0,    0,    0x04, 0xE4,  // code page, big-endian
          0x00, 0xFF, 0xFF, 0xF1, 0xF0,                    // no daylight saving, bias -3600 s
          0,    0,    0,    0x00, 0x09, 0x00, 0x01, 0x00};
}

struct Step {
  enum class Kind { Answered, Refused, Failed } kind = Kind::Answered;
  std::string reason;
};

Step Failed(std::string reason) { return {Step::Kind::Failed, std::move(reason)}; }

// One connection of one message. The socket is shared with the watchdog, which closes it
// when the message takes longer than the timeout.
class Conversation {
 public:
  explicit Conversation(const asio::any_io_executor& executor)
      : socket_(std::make_shared<asio::ip::tcp::socket>(executor)), watchdog_(executor) {}
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;
  ~Conversation() {
    // cancel() reports a failing timer service by throwing; a destructor must not.
    try {
      watchdog_.cancel();
    } catch (const std::system_error&) {
    }
  }

  asio::ip::tcp::socket& socket() { return *socket_; }

  void Arm(std::chrono::seconds timeout) {
    watchdog_.expires_after(timeout);
    watchdog_.async_wait([weak = std::weak_ptr(socket_)](const std::error_code& error) {
      if (error) return;
      if (const auto socket = weak.lock()) {
        std::error_code ignored;
        socket->close(ignored);
      }
    });
  }

  // Three writes, as the client's frame layer makes them.
  asio::awaitable<Step> Write(std::span<const std::uint8_t> payload) {
    const Bytes frame = server::EncodeFrame(payload);
    const std::size_t trailer = frame.size() - server::kFrameTrailerSize;
    const asio::const_buffer pieces[] = {
        asio::buffer(frame.data(), server::kFrameHeaderSize),
        asio::buffer(frame.data() + server::kFrameHeaderSize, trailer - server::kFrameHeaderSize),
        asio::buffer(frame.data() + trailer, server::kFrameTrailerSize)};
    for (const asio::const_buffer& piece : pieces) {
      if (auto [error, n] = co_await asio::async_write(*socket_, piece, kNoThrow); error) {
        co_return Failed("write: " + error.message());
      }
    }
    co_return Step{};
  }

  // The reply's payload in `reply`, read as the client reads it: header, then the rest.
  asio::awaitable<Step> Read(std::string& reply) {
    std::array<std::uint8_t, server::kFrameHeaderSize> header{};
    if (auto [error, n] = co_await asio::async_read(*socket_, asio::buffer(header), kNoThrow);
        error) {
      co_return Failed(error == asio::error::eof ? "closed by the server"
                                                 : "read: " + error.message());
    }
    std::size_t bodyLength = 0;
    if (const auto bad = server::ParseFrameHeader(header, kMaxReply, bodyLength);
        bad != server::FrameError::None) {
      co_return Failed(std::string("reply: ") + server::Describe(bad));
    }
    Bytes body(bodyLength);
    if (auto [error, n] = co_await asio::async_read(*socket_, asio::buffer(body), kNoThrow);
        error) {
      co_return Failed("read: " + error.message());
    }
    if (const auto bad = server::CheckFrameBody(body); bad != server::FrameError::None) {
      co_return Failed(std::string("reply: ") + server::Describe(bad));
    }
    reply.assign(body.begin(), body.end() - server::kFrameTrailerSize);
    co_return Step{};
  }

  // One command and its reply; anything but "TROK" refuses the message at this command.
  asio::awaitable<Step> Exchange(std::span<const std::uint8_t> payload) {
    if (Step written = co_await Write(payload); written.kind != Step::Kind::Answered) {
      co_return written;
    }
    std::string reply;
    if (Step read = co_await Read(reply); read.kind != Step::Kind::Answered) co_return read;
    if (reply == "TROK") co_return Step{};
    const std::string word(reinterpret_cast<const char*>(payload.data()),
                           std::min<std::size_t>(4, payload.size()));
    co_return Step{Step::Kind::Refused, "\"" + word + "\" answered \"" + reply + "\""};
  }

 private:
  std::shared_ptr<asio::ip::tcp::socket> socket_;
  asio::steady_timer watchdog_;
};

asio::awaitable<Step> Connect(const Plan& plan, Conversation& conversation, int n) {
  asio::ip::tcp::socket& socket = conversation.socket();
  std::error_code error;
  socket.open(plan.server.protocol(), error);
  if (!error && plan.options.sourceAddresses > 1) {
    socket.bind({SourceAddress(n, plan.options.sourceAddresses), 0}, error);
  }
  if (error) co_return Failed("socket: " + error.message());
  if (auto [failed] = co_await socket.async_connect(plan.server, kNoThrow); failed) {
    co_return Failed("connect: " + failed.message());
  }
  std::string greeting;
  if (Step read = co_await conversation.Read(greeting); read.kind != Step::Kind::Answered) {
    // A server at its session limit closes before greeting.
    if (read.reason == "closed by the server") read.kind = Step::Kind::Refused;
    read.reason = "greeting: " + read.reason;
    co_return read;
  }
  if (greeting != "TROK") co_return Failed("greeting \"" + greeting + "\" instead of \"TROK\"");
  co_return Step{};
}

asio::awaitable<Step> Upload(Conversation& conversation, const Bytes& bytes, int type,
                             int pauseHalfway = 0) {
  const Step ok;
  for (const Bytes& command :
       {B("FLSZ" + std::to_string(bytes.size())), B("FLTP" + std::to_string(type))}) {
    if (Step step = co_await conversation.Exchange(command); step.kind != ok.kind) co_return step;
  }
  if (type >= kUploadFile) {
    if (Step step = co_await conversation.Exchange(B("FLNMload.bin")); step.kind != ok.kind) {
      co_return step;
    }
  }
  Bytes frame;
  std::size_t sent = 0;
  do {
    const std::size_t count = std::min(kChunkSize, bytes.size() - sent);
    frame.assign({'F', 'L', sent == 0 ? std::uint8_t{'B'} : std::uint8_t{'C'},
                  sent == 0 ? std::uint8_t{'G'} : std::uint8_t{'N'}});
    frame.insert(frame.end(), bytes.begin() + static_cast<std::ptrdiff_t>(sent),
                 bytes.begin() + static_cast<std::ptrdiff_t>(sent + count));
    if (Step step = co_await conversation.Exchange(frame); step.kind != ok.kind) co_return step;
    const bool halfway = sent < bytes.size() / 2 && sent + count >= bytes.size() / 2;
    sent += count;
    if (halfway && pauseHalfway > 0) {
      asio::steady_timer pause(co_await asio::this_coro::executor,
                               std::chrono::seconds(pauseHalfway));
      co_await pause.async_wait(kNoThrow);
    }
  } while (sent < bytes.size());
  co_return ok;
}

asio::awaitable<Step> SendMessage(const Plan& plan, int n, const std::string& subject,
                                  double& latencyMs) {
  Conversation conversation(co_await asio::this_coro::executor);
  conversation.Arm(std::chrono::seconds(plan.options.timeoutSeconds));
  if (Step step = co_await Connect(plan, conversation, n); step.kind != Step::Kind::Answered) {
    co_return step;
  }
  const Bytes envelope[] = {B("HELLmurmelpost-load LOAD:1.0"), LocaleRecord(),
                            B("SEND\"Load client\" <" + plan.options.sender + ">"),
                            B("RECI" + plan.options.recipient), B("TITL" + subject)};
  for (const Bytes& command : envelope) {
    if (Step step = co_await conversation.Exchange(command); step.kind != Step::Kind::Answered) {
      co_return step;
    }
  }
  if (Step step =
          co_await Upload(conversation, plan.voice, kUploadVoice, plan.options.pauseHalfway);
      step.kind != Step::Kind::Answered) {
    co_return step;
  }
  if (plan.options.attachment >= 0) {
    if (Step step = co_await Upload(conversation, plan.attachment, kUploadFile);
        step.kind != Step::Kind::Answered) {
      co_return step;
    }
  }
  const auto finish = std::chrono::steady_clock::now();
  const Step finished = co_await conversation.Exchange(B("FINI"));
  latencyMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - finish).count();
  co_return finished;
}

}  // namespace

void PreparePlan(Plan& plan) {
  const LoadOptions& options = plan.options;
  // A recognisable voice image, so that the server takes its usual path for it.
  plan.voice.resize(kChunkSize * static_cast<std::size_t>(options.chunks));
  const std::size_t blocks = (plan.voice.size() - WAV_HEADER_SIZE) / GSM_BLOCK_SIZE;
  WriteWavHeader(plan.voice.data(), static_cast<LONG>(blocks * kPcmBytesPerBlock));
  for (std::size_t i = WAV_HEADER_SIZE; i < plan.voice.size(); ++i) {
    plan.voice[i] = static_cast<std::uint8_t>(i * 131 + 7);
  }
  if (options.attachment >= 0) {
    plan.attachment.resize(static_cast<std::size_t>(options.attachment));
    for (std::size_t i = 0; i < plan.attachment.size(); ++i) {
      plan.attachment[i] = static_cast<std::uint8_t>(i * 37 + 1);
    }
  }
}

void Tally::Add(const Tally& other) {
  attempted += other.attempted;
  accepted += other.accepted;
  latencyMs.insert(latencyMs.end(), other.latencyMs.begin(), other.latencyMs.end());
  for (const auto& [reason, count] : other.refused) refused[reason] += count;
  for (const auto& [reason, count] : other.failed) failed[reason] += count;
}

asio::ip::address SourceAddress(int n, int count) {
  return asio::ip::address_v4(0x7F000001U + static_cast<unsigned>(n % count));
}

asio::awaitable<std::string> OpenIdle(const Plan& plan, int n, std::shared_ptr<void>& held) {
  auto conversation = std::make_shared<Conversation>(co_await asio::this_coro::executor);
  const Step step = co_await Connect(plan, *conversation, n);
  if (step.kind == Step::Kind::Answered) held = conversation;
  co_return step.reason;
}

asio::awaitable<void> RunClient(const Plan& plan, int client, Tally& tally) {
  for (int n = 0; n < plan.options.messages && !plan.stopping; ++n) {
    ++tally.attempted;
    const std::string subject =
        plan.options.tag + " " + std::to_string(client) + "-" + std::to_string(n);
    double latencyMs = 0;
    const Step step =
        co_await SendMessage(plan, client * plan.options.messages + n, subject, latencyMs);
    switch (step.kind) {
      case Step::Kind::Answered:
        ++tally.accepted;
        tally.latencyMs.push_back(latencyMs);
        if (plan.onAnswered) plan.onAnswered(subject);
        break;
      case Step::Kind::Refused:
        ++tally.refused[step.reason];
        break;
      case Step::Kind::Failed:
        ++tally.failed[step.reason];
        break;
    }
  }
}

}  // namespace murmel::load
