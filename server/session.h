// The server's side of the dialogue, free of sockets: each payload in, one decision out.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "server/limits.h"
#include "server/message.h"

namespace murmel::server {

// The reply words, as the payloads of their frames.
inline constexpr std::array<std::uint8_t, 4> kReplyOk = {'T', 'R', 'O', 'K'};
// Any other four bytes refuse; the client then gives up on the whole exchange.
inline constexpr std::array<std::uint8_t, 4> kReplyRefused = {'N', 'O', 'O', 'K'};

struct Decision {
  enum class Kind {
    Reply,   // send reply, go on
    Finish,  // make the message durable, then reply "TROK" (or refuse)
    Refuse,  // send reply (a refusal), then close
  };
  Kind kind = Kind::Reply;
  std::vector<std::uint8_t> reply;
  std::string reason;  // why the connection ends, for the log
};

class Session {
 public:
  // Uploads are spooled in spoolFolder.
  Session(const Limits& limits, std::filesystem::path spoolFolder)
      : limits_(limits), spoolFolder_(std::move(spoolFolder)) {}

  Decision Handle(std::span<const std::uint8_t> payload);

  const Message& message() const { return message_; }
  // After "FINI": the message moves on to delivery.
  Message TakeMessage() { return std::move(message_); }

 private:
  struct PendingUpload {
    bool active = false;
    std::size_t announced = 0;
    bool typed = false;
    bool needsName = false;
    bool named = false;
    bool begun = false;  // "FLBG" seen
  };

  Decision OnGreeting(std::string_view argument);
  Decision OnLocale(std::span<const std::uint8_t> payload);
  Decision OnEnvelope(std::string_view word, std::string_view argument);
  Decision OnFileSize(std::string_view argument);
  Decision OnFileType(std::string_view argument);
  Decision OnFileName(std::string_view argument);
  Decision OnData(bool first, std::span<const std::uint8_t> data);
  Decision OnFinish();
  std::string UploadTypeProblem(int type) const;
  bool UploadComplete() const;
  bool ReadyForData() const;

  Limits limits_;
  std::filesystem::path spoolFolder_;
  Message message_;
  PendingUpload pending_;
  bool greeted_ = false;
  bool sentSender_ = false, sentRecipients_ = false, sentTitle_ = false;
  std::size_t messageBytes_ = 0;
};

Decision Ok();
Decision Refuse(std::string reason);

}  // namespace murmel::server
