#include "tools/murmelpost_send/message_form.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "state/app_state.h"
#include "tools/murmelpost_send/voice_import.h"
#include "transfer/command_exchange.h"
#include "transfer/server_connection.h"
#include "userdata/email_address.h"

namespace murmel::send_tool {
namespace {

// UTF-8 from the command line to the client's UTF-16; malformed bytes become U+FFFD.
std::u16string ToUtf16(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(std::max(length, 0)), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// Text<N> would cut a longer value silently; a cut address or path is a different one.
template <std::size_t N>
bool Store(Text<N>& field, const std::u16string& value, const std::string& what,
           FormResult& result) {
  if (value.size() >= N) {
    result.error = what + " is longer than " + std::to_string(N - 1) + " characters";
    return false;
  }
  field = value.c_str();
  return true;
}

// An existing regular file that we may read, as an absolute host path.
bool CheckReadableFile(const std::string& path, const std::string& what, std::string& absolute,
                       long long& size, FormResult& result) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  if (error || !std::filesystem::is_regular_file(full, error)) {
    result.error = "the " + what + " '" + path + "' is not a readable file";
    return false;
  }
  if (!std::ifstream(full, std::ios::binary)) {
    result.error = "the " + what + " '" + path + "' cannot be opened for reading";
    return false;
  }
  size = static_cast<long long>(std::filesystem::file_size(full, error));
  if (error) {
    result.error = "the size of the " + what + " '" + path + "' cannot be read";
    return false;
  }
  absolute = full.lexically_normal().string();
  return true;
}

bool FillProfile(const SendOptions& options, FormResult& result) {
  if (!Store(appState.email, ToUtf16(options.from), "--from", result)) return false;
  // The profile dialog's check: one address, normalised in place.
  if (ValidateEmail(appState.email.data(), 0) != 1) {
    result.error = "--from: '" + options.from + "' is not an e-mail address";
    return false;
  }
  return Store(appState.name, ToUtf16(options.name), "--name", result) &&
         Store(appState.sex, ToUtf16(options.title), "--title", result);
}

bool FillMessage(const SendOptions& options, FormResult& result) {
  const std::u16string recipients = ToUtf16(options.to);
  if (!Store(appState.recipientsText, recipients, "--to", result)) return false;
  // The Send button's check: a list is allowed, and it is normalised in place.
  if (ValidateEmail(appState.recipientsText.data(), 1) != 1) {
    result.error = "--to: '" + options.to + "' is not a list of e-mail addresses";
    return false;
  }
  const std::u16string text = ToUtf16(options.text);
  if (!Store(appState.subjectText, ToUtf16(options.subject), "--subject", result) ||
      !Store(appState.messageText, text, "--text", result)) {
    return false;
  }
  appState.hasMessageText = text.empty() ? 0 : 1;
  // The handheld refuses an empty form; an e-mail with nothing in it helps nobody.
  if (text.empty() && !options.attach && !options.voice) {
    result.error = "the message is empty: give --text, --attach or --voice";
    return false;
  }

  appState.attachmentPath.clear();
  appState.attachmentName.clear();
  if (options.attach) {
    std::string absolute;
    long long size = 0;
    if (!CheckReadableFile(*options.attach, "attachment", absolute, size, result) ||
        !Store(appState.attachmentPath, ToUtf16(absolute), "the attachment's full path", result) ||
        !Store(appState.attachmentName,
               ToUtf16(std::filesystem::path(absolute).filename().string()),
               "the attachment's name", result)) {
      return false;
    }
    // The protocol announces sizes as 32-bit numbers.
    if (size > 0x7FFFFFFF) {
      result.error = "the attachment '" + *options.attach + "' is larger than 2 GB";
      return false;
    }
  }

  appState.recordingAvailable = 0;
  if (options.voice) {
    const VoiceImport voice = ImportVoiceFile(*options.voice);
    if (!voice.ok) {
      result.error = voice.error;
      return false;
    }
    if (voice.chunks == 0) {
      result.error = "the audio file '" + *options.voice + "' holds no sound";
      return false;
    }
    if (voice.truncated) {
      result.warnings.push_back("'" + *options.voice +
                                "' is longer than 64 s; only its first 64 s are sent");
    }
  }
  return true;
}

bool FillPicture(const SendOptions& options, FormResult& result) {
  appState.customPicturePath.clear();
  appState.customPictureMode =
      options.mode == SendMode::RegisterPicture ? PICTURE_REGISTER : PICTURE_CLEAR;
  if (options.mode != SendMode::RegisterPicture) return true;
  std::string absolute;
  long long size = 0;
  if (!CheckReadableFile(*options.picture, "picture", absolute, size, result)) return false;
  if (size > MAX_PICTURE_BYTES) {
    result.error = "the picture '" + *options.picture + "' is larger than 100K (" +
                   std::to_string(size) + " bytes)";
    return false;
  }
  return Store(appState.customPicturePath, ToUtf16(absolute), "the picture's full path", result);
}

// The session refuses a text command too long for its buffer, but only once connected:
// checked here, a long subject or list is bad input and nothing is sent.
bool CommandsFit(const SendOptions& options, FormResult& result) {
  const std::u16string sender = SenderString();
  struct Command {
    const WCHAR* format;
    const WCHAR* argument;
    const char* what;
  };
  std::vector<Command> commands = {{u"SEND%s", sender.c_str(), "--name with --from"}};
  if (options.mode == SendMode::Message) {
    commands.push_back({u"RECI%s", appState.recipientsText, "--to"});
    commands.push_back({u"TITL%s", appState.subjectText, "--subject"});
    if (options.attach) commands.push_back({u"FLNM%s", appState.attachmentName, "--attach"});
  }
  for (const Command& command : commands) {
    if (!TextCommandFits(command.format, command.argument)) {
      result.error = std::string(command.what) +
                     ": too long to send; its command must fit 1023 bytes in code page " +
                     std::to_string(GetACP());
      return false;
    }
  }
  return true;
}

}  // namespace

FormResult FillApplicationState(const SendOptions& options) {
  FormResult result;
  const std::u16string host = ToUtf16(options.host);
  if (host.size() >= 256) {
    result.error = "--server: the host name is longer than 255 characters";
    return result;
  }
  if (!FillProfile(options, result)) return result;
  const bool filled = options.mode == SendMode::Message ? FillMessage(options, result)
                                                        : FillPicture(options, result);
  if (!filled || !CommandsFit(options, result)) return result;
  SetServerEndpoint(host.c_str(), options.port);
  result.ok = true;
  return result;
}

std::u16string SenderString() {
  WCHAR sender[256 + 256 + 8];
  wsprintfW(sender, u"\"%s\" <%s>", appState.name, appState.email);
  return sender;
}

}  // namespace murmel::send_tool
