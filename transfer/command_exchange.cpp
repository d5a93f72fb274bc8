#include "transfer/command_exchange.h"

#include <cstring>

#include "state/app_state.h"
#include "transfer/frame_layer.h"
#include "transfer/locale_record.h"

namespace {

constexpr int GREETING_SIZE = 128;       // characters before, bytes after conversion
constexpr int TEXT_COMMAND_SIZE = 1024;  // likewise for text commands and queries
constexpr int REPLY_CAPACITY = 1024;
constexpr int DATA_REPLY_CAPACITY = 12;
constexpr int REPLY_WORD_SIZE = 4;

bool IsReplyWord(const BYTE* reply, const char* word) {
  return std::memcmp(reply, word, REPLY_WORD_SIZE) == 0;
}

// Converts text to the ANSI code page; the result is the byte count without the NUL, or
// -1 when the text does not fit.
int ConvertCommand(const WCHAR* text, BYTE* converted, int size) {
  const int written = WideCharToMultiByte(CP_ACP, 0, text, -1, reinterpret_cast<LPSTR>(converted),
                                          size, nullptr, nullptr);
  return written > 0 ? written - 1 : -1;
}

// Sends one frame and reads the reply into a buffer of `capacity` bytes; the reply's
// length, or -1 for any failure of the frame layer.
int Exchange(SOCKET s, const BYTE* payload, int count, BYTE* reply, int capacity) {
  if (SendFrame(s, payload, count) != 0) return -1;
  int replyLength = capacity;
  if (ReceiveFrame(s, reply, &replyLength) != 0) return -1;
  return replyLength;
}

// A command whose reply must be exactly "TROK"; "RETR" sends it again.
int ExchangeForExactReply(SOCKET s, const BYTE* payload, int count) {
  BYTE reply[REPLY_CAPACITY];
  for (;;) {
    if (Exchange(s, payload, count, reply, REPLY_CAPACITY) != REPLY_WORD_SIZE) return -1;
    if (IsReplyWord(reply, "RETR")) continue;
    return IsReplyWord(reply, "TROK") ? 0 : -1;
  }
}

// A command whose "TROK" may carry data, copied (cut to fit) into the caller's buffer.
int ExchangeForQueryReply(SOCKET s, const BYTE* payload, int count, BYTE (&data)[QUERY_DATA_SIZE]) {
  BYTE reply[REPLY_CAPACITY];
  for (;;) {
    const int replyLength = Exchange(s, payload, count, reply, REPLY_CAPACITY);
    if (replyLength < REPLY_WORD_SIZE) return -1;
    if (IsReplyWord(reply, "RETR")) continue;
    if (!IsReplyWord(reply, "TROK")) return -1;
    int dataLength = replyLength - REPLY_WORD_SIZE;
    if (dataLength > QUERY_DATA_SIZE - 1) dataLength = QUERY_DATA_SIZE - 1;
    std::memcpy(data, reply + REPLY_WORD_SIZE, static_cast<std::size_t>(dataLength));
    data[dataLength] = 0;
    return 0;
  }
}

// Formats and converts a text command: its byte count, or -1 when it needs more than the
// buffer, so that it is refused rather than sent cut short.
template <typename Argument>
int FormatCommand(const WCHAR* format, const Argument& argument,
                  BYTE (&converted)[TEXT_COMMAND_SIZE]) {
  Text<TEXT_COMMAND_SIZE + 1> command;
  wsprintfW(command, format, argument);
  if (command.length() >= TEXT_COMMAND_SIZE) return -1;
  return ConvertCommand(command, converted, TEXT_COMMAND_SIZE);
}

template <typename Argument>
int SendFormattedCommand(SOCKET s, const WCHAR* format, const Argument& argument) {
  BYTE converted[TEXT_COMMAND_SIZE];
  const int count = FormatCommand(format, argument, converted);
  if (count < 0) return -1;
  return ExchangeForExactReply(s, converted, count);
}

}  // namespace

int SendGreeting(SOCKET s) {
  // The server speaks first, with exactly "TROK".
  BYTE reply[GREETING_SIZE];
  int replyLength = GREETING_SIZE;
  if (ReceiveFrame(s, reply, &replyLength) != 0) return -1;
  if (replyLength != REPLY_WORD_SIZE || !IsReplyWord(reply, "TROK")) return -1;

  WCHAR greeting[GREETING_SIZE];
  wsprintfW(greeting, u"HELLCEMurmelpost %s:%s", CLIENT_TAG, CLIENT_VERSION);
  BYTE converted[GREETING_SIZE];
  const int count = ConvertCommand(greeting, converted, GREETING_SIZE);
  if (count < 0) return -1;
  for (;;) {
    if (Exchange(s, converted, count, reply, GREETING_SIZE) != REPLY_WORD_SIZE) return -1;
    if (IsReplyWord(reply, "RETR")) continue;
    return IsReplyWord(reply, "TROK") ? 0 : -1;
  }
}

int SendCommand(SOCKET s, const WCHAR* format, const WCHAR* argument) {
  return SendFormattedCommand(s, format, argument);
}

int SendCommand(SOCKET s, const WCHAR* format, int argument) {
  return SendFormattedCommand(s, format, argument);
}

bool TextCommandFits(const WCHAR* format, const WCHAR* argument) {
  BYTE converted[TEXT_COMMAND_SIZE];
  return FormatCommand(format, argument, converted) >= 0;
}

int QueryCommand(SOCKET s, const WCHAR* command, int count, BYTE (&data)[QUERY_DATA_SIZE]) {
  if (count < 0 || count >= TEXT_COMMAND_SIZE) return -1;
  WCHAR text[TEXT_COMMAND_SIZE];
  lstrcpynW(text, command, count + 1);  // exactly count characters, then the NUL
  BYTE converted[TEXT_COMMAND_SIZE];
  const int convertedCount = ConvertCommand(text, converted, TEXT_COMMAND_SIZE);
  if (convertedCount < 0) return -1;
  return ExchangeForQueryReply(s, converted, convertedCount, data);
}

int QueryRaw(SOCKET s, const BYTE* command, int count, BYTE (&data)[QUERY_DATA_SIZE]) {
  return ExchangeForQueryReply(s, command, count, data);
}

int SendFinish(SOCKET s) {
  const BYTE finish[] = {'F', 'I', 'N', 'I'};
  return ExchangeForExactReply(s, finish, sizeof finish);
}

int SendDataFrame(SOCKET s, const char* word, const BYTE* data, int count, CancelTest cancelTest) {
  if (count < 0 || count > DATA_FRAME_MAX) return -1;
  BYTE frame[REPLY_WORD_SIZE + DATA_FRAME_MAX];
  std::memcpy(frame, word, REPLY_WORD_SIZE);
  // An empty file is a bare word; its data pointer may be null.
  if (count > 0) std::memcpy(frame + REPLY_WORD_SIZE, data, static_cast<std::size_t>(count));
  BYTE reply[DATA_REPLY_CAPACITY];
  for (;;) {
    // A reply that does not fit 12 bytes already fails in the frame layer.
    if (Exchange(s, frame, REPLY_WORD_SIZE + count, reply, DATA_REPLY_CAPACITY) !=
        REPLY_WORD_SIZE) {
      return -1;
    }
    if (IsCancelled(cancelTest)) return -1;
    if (IsReplyWord(reply, "RETR")) continue;
    return IsReplyWord(reply, "TROK") ? 0 : -1;
  }
}

int SendLocale(SOCKET s) {
  TIME_ZONE_INFORMATION timeZone;
  std::memset(&timeZone, 0, sizeof timeZone);
  const DWORD timeZoneResult = GetTimeZoneInformation(&timeZone);
  BYTE record[LOCALE_RECORD_SIZE];
  BuildLocaleRecord(record, timeZoneResult, timeZone.Bias, GetACP(), GetSystemDefaultLangID(),
                    appState.sex);
  BYTE data[QUERY_DATA_SIZE] = {};
  return QueryRaw(s, record, LOCALE_RECORD_SIZE, data);
}

int SendClientType(SOCKET s) {
  const Text<5> tag = CLIENT_TAG;  // its first four characters
  WCHAR command[TEXT_COMMAND_SIZE];
  wsprintfW(command, u"TYPE%s", tag);
  BYTE data[QUERY_DATA_SIZE] = {};
  return QueryCommand(s, command, 8, data);
}

int SendSender(SOCKET s, const WCHAR* sender) { return SendCommand(s, u"SEND%s", sender); }

int SendRecipients(SOCKET s, const WCHAR* recipients) {
  return SendCommand(s, u"RECI%s", recipients);
}

int SendTitle(SOCKET s, const WCHAR* subject) { return SendCommand(s, u"TITL%s", subject); }

int SendEnvelope(SOCKET s, const WCHAR* sender, const WCHAR* recipients, const WCHAR* subject) {
  if (SendSender(s, sender) != 0) return -1;
  if (SendRecipients(s, recipients) != 0) return -1;
  return SendTitle(s, subject);
}

int SendFileSize(SOCKET s, int size) {
  WCHAR sizeText[16];
  wsprintfW(sizeText, u"%d", size);
  return SendCommand(s, u"FLSZ%s", sizeText);
}

int SendFileType(SOCKET s, int type) { return SendCommand(s, u"FLTP%d", type); }

int SendFileName(SOCKET s, const WCHAR* fileName) { return SendCommand(s, u"FLNM%s", fileName); }

int CheckClient(SOCKET s) {
  const Text<5> tag = CLIENT_TAG;
  WCHAR command[TEXT_COMMAND_SIZE];
  const int count = wsprintfW(command, u"CHCK%s%s", tag, CLIENT_VERSION);
  BYTE data[QUERY_DATA_SIZE];
  data[0] = 0;
  if (QueryCommand(s, command, count, data) != 0) return -1;
  return data[0] == 1 ? 1 : 0;
}
