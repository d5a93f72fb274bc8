#include "tools/murmelpost_send/send_run.h"

#include <windows.h>

#include <string_view>

#include "audio/voice_store.h"
#include "state/app_state.h"
#include "tools/murmelpost_send/message_form.h"
#include "tools/murmelpost_send/send_options.h"
#include "tools/murmelpost_send/send_report.h"
#include "transfer/picture_session.h"
#include "transfer/send_session.h"
#include "transfer/server_connection.h"

namespace murmel::send_tool {
namespace {

// What the summary line reports, taken before the send releases the recording.
struct MessageFacts {
  int recipients = 0;
  double voiceSeconds = 0;
};

MessageFacts FactsFromState() {
  MessageFacts facts;
  // ValidateEmail left the list as addresses separated by single commas.
  facts.recipients = 1;
  for (const WCHAR c : std::u16string_view(appState.recipientsText.data())) {
    facts.recipients += c == u',' ? 1 : 0;
  }
  // 16-bit samples at 8 kHz.
  if (appState.recordingAvailable != 0) facts.voiceSeconds = appState.recordedBytes / 16000.0;
  return facts;
}

int SendMessageFromState() {
  const std::u16string sender = SenderString();
  const VoiceStoreView store{appState.voiceHead, appState.voiceTail};
  const VoiceStoreView* voice = appState.recordingAvailable != 0 ? &store : nullptr;
  const WCHAR* text = appState.hasMessageText != 0 ? appState.messageText.data() : nullptr;
  const BOOL hasAttachment = appState.attachmentPath.empty() ? FALSE : TRUE;
  // Stop is never pressed here; a flag left from an earlier send must not cancel this one.
  appState.cancelRequested = 0;
  return SendVoiceMessage(voice, text, hasAttachment, sender.c_str(), appState.recipientsText,
                          appState.subjectText);
}

void ReleaseRecording() {
  if (appState.recordingAvailable != 0) {
    FreeVoiceStore();
    appState.recordingAvailable = 0;
    appState.recordedBytes = 0;
  }
}

int SendPictureFromState() {
  const std::u16string sender = SenderString();
  const WCHAR* path =
      appState.customPictureMode == PICTURE_REGISTER ? appState.customPicturePath.data() : nullptr;
  return RunCustomPictureSession(sender.c_str(), path, appState.customPictureMode);
}

std::string ServerName(const SendOptions& options) {
  return options.host + ":" + std::to_string(options.port != 0 ? options.port : SERVER_PORT);
}

}  // namespace

int RunSendTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                bool errIsTerminal) {
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

  const bool message = options.mode == SendMode::Message;
  const MessageFacts facts = FactsFromState();
  ProgressDisplay progress(err, errIsTerminal);
  // The session leaves the WinSock code of a failed lookup or connect as the last error.
  SetLastError(0);
  const int done = message ? SendMessageFromState() : SendPictureFromState();
  const DWORD lastError = GetLastError();
  ReleaseRecording();
  progress.Finish();
  if (done != 1) {
    err << "murmelpost-send: "
        << DescribeSendFailure(lastError, progress.last(), options.host, ServerName(options))
        << "\n";
    return EXIT_SEND_FAILED;
  }
  if (message) {
    out << MessageSummary(facts.recipients, facts.voiceSeconds, appState.transferTotal) << "\n";
  } else {
    out << (options.mode == SendMode::RegisterPicture ? "custom picture registered\n"
                                                      : "custom picture cleared\n");
  }
  return EXIT_SENT;
}

}  // namespace murmel::send_tool
