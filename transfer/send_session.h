// The Send button's work: one session that uploads the whole message (envelope, text,
// attachment, voice image), reporting its progress to an observer.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include "state/voice_nodes.h"

// The recorded-voice store as the session reads it: the chunks lie between the two
// sentinels, walked from head->next up to, not including, tail.
struct VoiceStoreView {
  const VoiceNode* head;
  const VoiceNode* tail;
};

// Called with every percentage the session shows; null means nobody listens.
using TransferProgressObserver = void (*)(int percent);
void SetTransferProgressObserver(TransferProgressObserver observer);

// Formats the percent into appState.progressText, then tells the observer.
void ShowTransferProgress(int percent);

// 60 + 520 x the chunks of appState's recorded-voice store.
DWORD VoiceImageSize();

// 0 or -1. Uploads a block of memory as "FLSZ", "FLTP" (and "FLNM" with
// appState.attachmentName for file types), then "FLBG"/"FLCN" frames of up to 1024 bytes.
int UploadBuffer(SOCKET s, const BYTE* bytes, DWORD size, int uploadType);
// 0 or -1. Uploads the voice image: the WAV header, then every chunk of the store.
int UploadVoice(SOCKET s, const VoiceStoreView& voice, DWORD voiceSize, int uploadType);

// 1 when the server accepted the whole message and the connection is closed, 0 on
// failure or cancellation. voice and messageText may be null (absent); the attachment
// is appState.attachmentPath / attachmentName when hasAttachment is set.
int SendVoiceMessage(const VoiceStoreView* voice, const WCHAR* messageText, BOOL hasAttachment,
                     const WCHAR* sender, const WCHAR* recipients, const WCHAR* subject);
