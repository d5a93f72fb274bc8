#include "tools/murmelpost_send/send_run.h"

#include <windows.h>

#include "audio/voice_store.h"
#include "shell/app_state.h"
#include "tools/murmelpost_send/message_form.h"
#include "tools/murmelpost_send/send_options.h"
#include "transfer/picture_session.h"
#include "transfer/send_session.h"

namespace murmel::send_tool {
namespace {

// The session reports through a plain function pointer, so the stream lives here.
std::ostream* progressStream = nullptr;

// One write per line: on the unbuffered stderr each insertion is a system call of its
// own, and this runs once per data frame.
void PrintProgress(int percent) {
  if (progressStream == nullptr) return;
  *progressStream << ("progress " + std::to_string(percent) + "%\n") << std::flush;
}

class ProgressReporting {
 public:
  explicit ProgressReporting(std::ostream& err) {
    progressStream = &err;
    SetTransferProgressObserver(PrintProgress);
  }
  ProgressReporting(const ProgressReporting&) = delete;
  ProgressReporting& operator=(const ProgressReporting&) = delete;
  ~ProgressReporting() {
    SetTransferProgressObserver(nullptr);
    progressStream = nullptr;
  }
};

int SendMessageFromState() {
  const std::u16string sender = SenderString();
  const VoiceStoreView store{appState.voiceHead, appState.voiceTail};
  const VoiceStoreView* voice = appState.recordingAvailable != 0 ? &store : nullptr;
  const WCHAR* text = appState.hasMessageText != 0 ? appState.messageText.data() : nullptr;
  const BOOL hasAttachment = appState.attachmentPath.empty() ? FALSE : TRUE;
  // Stop is never pressed here; a flag left from an earlier send must not cancel this one.
  appState.cancelRequested = 0;
  const int sent = SendVoiceMessage(voice, text, hasAttachment, sender.c_str(),
                                    appState.recipientsText, appState.subjectText);
  if (appState.recordingAvailable != 0) {
    FreeVoiceStore();
    appState.recordingAvailable = 0;
    appState.recordedBytes = 0;
  }
  return sent;
}

int SendPictureFromState() {
  const std::u16string sender = SenderString();
  const WCHAR* path = appState.customPictureMode == 1 ? appState.customPicturePath.data() : nullptr;
  return RunCustomPictureSession(sender.c_str(), path, appState.customPictureMode);
}

}  // namespace

int RunSendTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  SendOptions options;
  if (const ParseResult parsed = ParseSendOptions(arguments, options); !parsed.ok) {
    err << "murmelpost-send: " << parsed.error << "\n";
    return EXIT_BAD_INPUT;
  }
  if (options.help) {
    out << SendUsageText();
    return EXIT_SENT;
  }
  const FormResult form = FillApplicationState(options);
  if (!form.ok) {
    err << "murmelpost-send: " << form.error << "\n";
    return EXIT_BAD_INPUT;
  }
  for (const std::string& warning : form.warnings) {
    err << "murmelpost-send: warning: " << warning << "\n";
  }

  const ProgressReporting progress(err);
  const bool message = options.mode == SendMode::Message;
  const int done = message ? SendMessageFromState() : SendPictureFromState();
  if (done != 1) {
    err << "murmelpost-send: the " << (message ? "message" : "picture request")
        << " was not accepted: the server could not be reached, refused it or broke off\n";
    return EXIT_SEND_FAILED;
  }
  return EXIT_SENT;
}

}  // namespace murmel::send_tool
