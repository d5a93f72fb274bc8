#include "transfer/picture_session.h"

#include "state/app_state.h"
#include "transfer/command_exchange.h"
#include "transfer/server_connection.h"
#include "transfer/session_resources.h"

namespace {

int Fail(SOCKET s) {
  CloseServerConnection(s);
  return 0;
}

}  // namespace

DWORD WINAPI CustomPictureThread(LPVOID /*unused*/) {
  Text<1024> sender;
  wsprintfW(sender, u"\"%s\" <%s>", appState.name, appState.email);
  const Text<260> picturePath = appState.customPicturePath;
  const int mode = appState.customPictureMode;

  // Nobody is told how it went: the server's verification e-mail is the user's answer.
  RunCustomPictureSession(sender, picturePath, mode);

  const HANDLE self = appState.customPictureThread.exchange(nullptr);
  if (self != nullptr) CloseHandle(self);
  return 0;
}

int RunCustomPictureSession(const WCHAR* sender, const WCHAR* picturePath, int mode) {
  const SOCKET s = OpenServerConnection(nullptr);
  if (s == INVALID_SOCKET) return 0;
  if (SendGreeting(s) != 0) return Fail(s);
  if (SendLocale(s) != 0) return Fail(s);
  if (SendEnvelope(s, sender, u"", u"") != 0) return Fail(s);
  if (UploadPictureFile(s, mode == PICTURE_REGISTER ? picturePath : nullptr, UPLOAD_PICTURE) != 0)
    return Fail(s);
  if (SendFinish(s) != 0) return Fail(s);
  CloseServerConnection(s);
  return 1;
}

int UploadPictureFile(SOCKET s, const WCHAR* picturePath, int uploadType) {
  SessionFile file(picturePath);
  DWORD size = 0;
  if (picturePath != nullptr) {
    if (!file.IsOpen()) return -1;
    size = file.Size();
    if (size == INVALID_FILE_SIZE) return -1;
  }
  if (SendFileSize(s, static_cast<int>(size)) != 0) return -1;
  if (SendFileType(s, uploadType) != 0) return -1;
  if (size == 0) return 0;

  // One frame's bytes, read once: a "RETR" resends them without reading the file again.
  BYTE frame[DATA_FRAME_MAX];
  const char* word = "FLBG";
  DWORD remaining = size;
  while (remaining > DATA_FRAME_MAX) {
    // A file that shrank since "FLSZ" ends the upload rather than sending stale bytes.
    if (!file.ReadExactly(frame, DATA_FRAME_MAX)) return -1;
    if (SendDataFrame(s, word, frame, DATA_FRAME_MAX, SendCancelRequested) != 0) return -1;
    remaining -= DATA_FRAME_MAX;
    word = "FLCN";
  }
  // The last frame goes without a cancel test, so a small picture is sent even after a
  // cancelled send left the flag set.
  if (!file.ReadExactly(frame, remaining)) return -1;
  if (SendDataFrame(s, word, frame, static_cast<int>(remaining), nullptr) != 0) return -1;
  return 0;
}
