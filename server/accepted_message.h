// A message accepted but not yet made into e-mail: the uploads exactly as the client sent
// them, followed by the envelope as text. Acceptance ends with this file durable, so the
// client hears "TROK" without waiting for the MP3 encoder; the e-mail is composed from it
// afterwards, and again after a crash that came first.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "server/message.h"
#include "server/result.h"

namespace murmel::server {

struct AcceptedMessage {
  Message message;  // its spool reads the uploads in place
  std::time_t received = 0;
  std::string clientAddress;
};

// The envelope that follows the uploads, ending in its own length.
std::vector<std::uint8_t> AcceptedTrailer(const AcceptedMessage& accepted);

// Writes file (which must not exist); fsync'd when sync is set.
Result SaveAccepted(const AcceptedMessage& accepted, const std::filesystem::path& file, bool sync);

// Reads what SaveAccepted wrote; why says what is wrong with a file that does not parse.
std::optional<AcceptedMessage> LoadAccepted(const std::filesystem::path& file, std::string& why);

// The envelope text without the uploads, for LoadAccepted and its tests.
std::optional<AcceptedMessage> ParseAcceptedTrailer(std::string_view trailer,
                                                    std::uint64_t uploadBytes, std::string& why);

}  // namespace murmel::server
