// The request-reply dialogue with the transfer server: one command frame, one reply
// frame. Every exchange answers 0 for success and -1 for failure.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include "transfer/cancel_test.h"

inline constexpr WCHAR CLIENT_TAG[] = u"_DEF";
inline constexpr WCHAR CLIENT_VERSION[] = u"2.80.1234";

// What an "FLTP" command announces; types from UPLOAD_FILE up are followed by "FLNM".
enum UploadType {
  UPLOAD_VOICE = 0,
  UPLOAD_TEXT = 1,
  UPLOAD_PICTURE = 4,
  UPLOAD_FILE = 10,
};

// Room for a reply's data after the reply word: 15 bytes and a NUL; longer data is cut.
constexpr int QUERY_DATA_SIZE = 16;
// The most data bytes one "FLBG" or "FLCN" frame carries.
constexpr int DATA_FRAME_MAX = 1024;

int SendGreeting(SOCKET s);
// format is the command word and one conversion: "SEND%s", "FLTP%d" ...
int SendCommand(SOCKET s, const WCHAR* format, const WCHAR* argument);
int SendCommand(SOCKET s, const WCHAR* format, int argument);
// Whether SendCommand could send this command, which it refuses when the text does not
// fit its buffer before or after the conversion to the ANSI code page.
bool TextCommandFits(const WCHAR* format, const WCHAR* argument);
int QueryCommand(SOCKET s, const WCHAR* command, int count, BYTE (&data)[QUERY_DATA_SIZE]);
int QueryRaw(SOCKET s, const BYTE* command, int count, BYTE (&data)[QUERY_DATA_SIZE]);
int SendFinish(SOCKET s);
// word is "FLBG" or "FLCN"; the cancel test is asked after every four-byte reply.
int SendDataFrame(SOCKET s, const char* word, const BYTE* data, int count, CancelTest cancelTest);

int SendLocale(SOCKET s);
int SendClientType(SOCKET s);
int SendSender(SOCKET s, const WCHAR* sender);
int SendRecipients(SOCKET s, const WCHAR* recipients);
int SendTitle(SOCKET s, const WCHAR* subject);
int SendEnvelope(SOCKET s, const WCHAR* sender, const WCHAR* recipients, const WCHAR* subject);
int SendFileSize(SOCKET s, int size);
int SendFileType(SOCKET s, int type);
int SendFileName(SOCKET s, const WCHAR* fileName);
// 1 when the server's data starts with the byte 1, 0 otherwise, -1 on failure.
int CheckClient(SOCKET s);
