#include "transfer/send_session.h"

#include <cstdint>

#include "audio/wav_header.h"
#include "state/app_state.h"
#include "transfer/command_exchange.h"
#include "transfer/server_connection.h"
#include "transfer/session_resources.h"

namespace {

// The converted message text's usual home. The text box holds up to 1023 characters, so
// a double-byte (or UTF-8) code page can need more: such a text is converted into a heap
// block of its exact size instead, because the protocol carries any size and refusing a
// message the user could type would be a failure the user cannot understand.
constexpr int TEXT_BUFFER_SIZE = 2024;

DWORD CountVoiceChunks(const VoiceStoreView& voice) {
  DWORD chunks = 0;
  if (voice.head == nullptr || voice.tail == nullptr) return 0;
  for (const VoiceNode* node = voice.head->next; node != voice.tail && node != nullptr;
       node = node->next) {
    ++chunks;
  }
  return chunks;
}

// 10 + bytes x 90 / transferTotal, truncated. An empty message (an empty attachment and
// nothing else) has nothing to measure against: it shows the start of the upload range.
int UploadPercent(std::uint64_t bytes) {
  const std::uint64_t total = appState.transferTotal;
  if (total == 0) return 10;
  return static_cast<int>(10 + (bytes * 90) / total);
}

// Bytes the text needs in the ANSI code page, its NUL included; 0 for no or empty text.
DWORD TextSize(const WCHAR* messageText) {
  if (messageText == nullptr || messageText[0] == 0) return 0;
  const int size = WideCharToMultiByte(CP_ACP, 0, messageText, -1, nullptr, 0, nullptr, nullptr);
  return size > 0 ? static_cast<DWORD>(size) : 0;
}

int UploadText(SOCKET s, const WCHAR* messageText, DWORD textSize) {
  BYTE fixed[TEXT_BUFFER_SIZE] = {};
  HeapBlock larger(textSize > TEXT_BUFFER_SIZE ? textSize : 0);
  if (!larger.IsValid()) return -1;
  BYTE* buffer = textSize > TEXT_BUFFER_SIZE ? larger.bytes() : fixed;
  const int capacity = textSize > TEXT_BUFFER_SIZE ? static_cast<int>(textSize) : TEXT_BUFFER_SIZE;
  const int converted = WideCharToMultiByte(
      CP_ACP, 0, messageText, -1, reinterpret_cast<LPSTR>(buffer), capacity, nullptr, nullptr);
  if (converted <= 0) return -1;
  return UploadBuffer(s, buffer, static_cast<DWORD>(converted - 1), UPLOAD_TEXT);
}

// Reads the whole attachment into one block and uploads it. The file was sized before the
// connection; it is sized again here because that is the size the block must hold.
int UploadAttachment(SOCKET s) {
  SessionFile file(appState.attachmentPath);
  if (!file.IsOpen()) return -1;
  const DWORD size = file.Size();
  if (size == INVALID_FILE_SIZE) return -1;
  HeapBlock block(size);
  if (!block.IsValid() || (size > 0 && !file.ReadExactly(block.bytes(), size))) return -1;
  if (UploadBuffer(s, block.bytes(), size, UPLOAD_FILE) != 0) return -1;
  return SendCancelRequested() ? -1 : 0;
}

int Fail(SOCKET s) {
  CloseServerConnection(s);
  return 0;
}

DWORD VoiceImageSizeOf(const VoiceStoreView& voice) {
  return WAV_HEADER_SIZE + VOICE_CHUNK_SIZE * CountVoiceChunks(voice);
}

}  // namespace

DWORD VoiceImageSize() { return VoiceImageSizeOf({appState.voiceHead, appState.voiceTail}); }

int UploadBuffer(SOCKET s, const BYTE* bytes, DWORD size, int uploadType) {
  if (size == INVALID_FILE_SIZE) return -1;
  if (SendFileSize(s, static_cast<int>(size)) != 0) return -1;
  if (SendFileType(s, uploadType) != 0) return -1;
  if (uploadType >= UPLOAD_FILE && SendFileName(s, appState.attachmentName) != 0) return -1;

  const char* word = "FLBG";
  DWORD sent = 0;
  // The last frame carries 0 to 1024 bytes, so an empty block is one bare "FLBG".
  for (;;) {
    const DWORD remaining = size - sent;
    const int count = remaining > DATA_FRAME_MAX ? DATA_FRAME_MAX : static_cast<int>(remaining);
    if (SendDataFrame(s, word, bytes + sent, count, SendCancelRequested) != 0) return -1;
    sent += static_cast<DWORD>(count);
    word = "FLCN";
    ShowTransferProgress(UploadPercent(sent));
    if (remaining <= DATA_FRAME_MAX) return 0;
  }
}

int UploadVoice(SOCKET s, const VoiceStoreView& voice, DWORD voiceSize, int uploadType) {
  if (voiceSize == INVALID_FILE_SIZE) return -1;
  if (SendFileSize(s, static_cast<int>(voiceSize)) != 0) return -1;
  if (SendFileType(s, uploadType) != 0) return -1;

  BYTE header[WAV_HEADER_SIZE] = {};
  WriteWavHeader(header, static_cast<LONG>(appState.recordedBytes));
  if (SendDataFrame(s, "FLBG", header, WAV_HEADER_SIZE, SendCancelRequested) != 0) return -1;

  // Everything uploaded before the voice counts towards its progress.
  const std::uint64_t before = appState.transferTotal - voiceSize;
  std::uint64_t accepted = WAV_HEADER_SIZE;
  if (CountVoiceChunks(voice) == 0) {
    ShowTransferProgress(UploadPercent(before + accepted));
    return 0;
  }
  for (const VoiceNode* node = voice.head->next; node != voice.tail && node != nullptr;
       node = node->next) {
    if (SendDataFrame(s, "FLCN", node->chunk, VOICE_CHUNK_SIZE, SendCancelRequested) != 0) {
      return -1;
    }
    accepted += VOICE_CHUNK_SIZE;
    ShowTransferProgress(UploadPercent(before + accepted));
  }
  ShowTransferProgress(UploadPercent(before + accepted));
  return 0;
}

int SendVoiceMessage(const VoiceStoreView* voice, const WCHAR* messageText, BOOL hasAttachment,
                     const WCHAR* sender, const WCHAR* recipients, const WCHAR* subject) {
  // Sizing: an attachment that cannot be opened fails before any connection.
  const DWORD textSize = TextSize(messageText);
  DWORD attachmentSize = 0;
  if (hasAttachment) {
    SessionFile file(appState.attachmentPath);
    if (!file.IsOpen()) return 0;
    attachmentSize = file.Size();
  }
  const DWORD voiceSize = voice != nullptr ? VoiceImageSizeOf(*voice) : 0;
  appState.transferTotal = voiceSize + attachmentSize + textSize;

  const SOCKET s = OpenServerConnection(SendCancelRequested);
  if (s == INVALID_SOCKET) return 0;
  ShowTransferProgress(1);
  if (SendCancelRequested()) return Fail(s);

  if (SendGreeting(s) != 0) return Fail(s);
  ShowTransferProgress(3);
  if (SendLocale(s) != 0) return Fail(s);
  ShowTransferProgress(5);
  if (SendCancelRequested()) return Fail(s);
  if (SendClientType(s) != 0) return Fail(s);
  ShowTransferProgress(7);
  if (SendCancelRequested()) return Fail(s);
  if (SendEnvelope(s, sender, recipients, subject) != 0) return Fail(s);
  ShowTransferProgress(9);
  if (SendCancelRequested()) return Fail(s);

  if (textSize > 0) {
    if (UploadText(s, messageText, textSize) != 0) return Fail(s);
    if (SendCancelRequested()) return Fail(s);
  }
  if (hasAttachment && UploadAttachment(s) != 0) return Fail(s);
  if (voice != nullptr) {
    if (UploadVoice(s, *voice, voiceSize, UPLOAD_VOICE) != 0) return Fail(s);
    if (SendCancelRequested()) return Fail(s);
  }

  // The check's answer is not used; only a failed exchange matters.
  if (CheckClient(s) < 0) return Fail(s);
  if (SendFinish(s) != 0) return Fail(s);
  CloseServerConnection(s);
  ShowTransferProgress(100);
  return 1;
}
