// Measures the real client, offscreen, as a user runs it: the CPU the whole process uses
// while it records (capture paced in real time by the file audio device, compression on its
// own thread, the elapsed-time display), against the same process idle; then the time from
// a click on Send to 100 % and to the server's acceptance, for that recording, against a
// local murmelpost-server on loopback.
//
//   client_record_send [seconds]     (default 64: the recording limit stops it by itself)
#include <signal.h>
#include <sys/wait.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/gui/testing/testing.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "shell/send_progress.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "support/kernel_test_files.h"
#include "support/pcm_wav_file.h"
#include "transfer/send_session.h"
#include "transfer/server_connection.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t server_pid = -1;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The CPU this process uses from its construction on, as a share of the time passed.
struct CpuMeter {
  static double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
  double Percent() const { return 100 * (CpuSeconds() - cpu) / SecondsSince(wall); }

  double cpu = CpuSeconds();
  Clock::time_point wall = Clock::now();
};

// A voice-like test signal: two partials whose loudness moves like syllables.
double VoiceLike(double t) {
  const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3.5 * t);
  return 6000 * envelope * (std::sin(2 * M_PI * 180 * t) + 0.5 * std::sin(2 * M_PI * 720 * t));
}

// Starts murmelpost-server on a free loopback port and returns the port from its log (0 on
// failure). The shell names its own process id and then becomes the server; the pipe stays
// open so that the server's later lines do not fail.
int StartServer(const std::filesystem::path& state) {
  const std::string command = "echo $$; exec '" MURMELPOST_SERVER_PROGRAM
                              "' --listen 127.0.0.1:0 --no-http --no-sender-verification "
                              "--state '" +
                              state.string() + "' 2>&1";
  FILE* said = popen(command.c_str(), "r");
  char line[512];
  if (said == nullptr || std::fgets(line, sizeof line, said) == nullptr) return 0;
  server_pid = std::atoi(line);
  while (std::fgets(line, sizeof line, said) != nullptr) {
    if (const char* at = std::strstr(line, "listening on port ")) return std::atoi(at + 18);
  }
  return 0;
}

int Fail(const char* why) {
  std::fprintf(stderr, "%s\n", why);
  if (server_pid > 0) kill(server_pid, SIGTERM);
  return 1;
}

// The client's own kind of message loop: GetMessageW wakes for every posted or sent
// message, as in the running program; a 10 ms timer lets the bench look at `done`.
bool Pump(const std::function<bool()>& done, double limit_seconds) {
  constexpr UINT_PTR kBenchTimer = 0xBE7C;
  SetTimer(appState.mainWindow, kBenchTimer, 10, nullptr);
  const auto start = Clock::now();
  MSG message{};
  while (!done() && SecondsSince(start) <= limit_seconds &&
         GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  KillTimer(appState.mainWindow, kBenchTimer);
  return done();
}

HWND PanelButton(int id) {
  return GetDlgItem(GetDlgItem(appState.mainWindow, IDC_BUTTON_PANEL), id);
}

std::atomic<bool> reached_full{false};
Clock::time_point full_at;

// Chained after the panel's own display, so the send costs what it costs the user.
void NoteProgress(int percent) {
  ShowSendProgress(percent);
  if (percent >= 100 && !reached_full.exchange(true)) full_at = Clock::now();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 64.0;
  char pattern[] = "/tmp/murmelpost-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);  // private: mkdtemp made it 0700
  setenv("MURMELPOST_DEVICE_ROOT", (dir / "device").c_str(), 1);
  murmel::test::WritePcmWav(dir / "voice.wav", seconds + 5, VoiceLike);
  const std::string audio =
      "file:in=" + (dir / "voice.wav").string() + ",out=" + (dir / "played.wav").string();
  setenv("MURMELPOST_AUDIO", audio.c_str(), 1);
  murmel::test::WriteUtf16File(
      dir / "device/Windows/CEVireoRec.pfi",
      u"[VireoRec]\r\nemail=sam@example.org\r\nname=Sam Sender\r\nsex=Mr.\r\n"
      u"city=Springfield\r\nstate=IL\r\ncountry=United States\r\n");

  const int port = StartServer(dir / "state");
  if (port == 0) return Fail("murmelpost-server did not start");
  SetServerEndpoint(u"127.0.0.1", static_cast<std::uint16_t>(port));

  RegisterClientResources();
  murmel::testing::AnswerMessageBoxes(IDOK);
  const auto start = Clock::now();
  if (InitInstance(nullptr) != 1) return Fail("the client did not start");
  murmel::testing::ProcessEvents();
  std::printf("start-up to the main window: %.3f s\n", SecondsSince(start));

  // The same process idle for five seconds, as the baseline.
  const CpuMeter idle;
  Pump([] { return false; }, 5.0);
  std::printf("idle:      %5.2f %% of one core\n", idle.Percent());

  const CpuMeter recording;
  murmel::testing::Click(PanelButton(IDC_RECORD));
  const bool limit = seconds >= 64.0;
  if (!limit) {
    Pump([] { return false; }, seconds);
    murmel::testing::Click(PanelButton(IDC_STOP));
  }
  const bool stopped = Pump(
      [] { return appState.recorderState == RECORDER_IDLE && appState.recordingAvailable == 1; },
      90.0);
  std::printf("recording: %5.2f %% of one core over %.1f s (%d chunks, %s)\n", recording.Percent(),
              SecondsSince(recording.wall), appState.voiceChunkCount.load(),
              limit ? "stopped by the 64 s limit" : "stopped by Stop");
  if (!stopped) return Fail("the recording did not end");

  SetWindowTextW(GetDlgItem(appState.mainWindow, IDC_RECIPIENTS), u"ann@example.org");
  SetWindowTextW(GetDlgItem(appState.mainWindow, IDC_SUBJECT), u"Benchmark");
  const DWORD image = VoiceImageSize();
  const auto send_clicked = Clock::now();
  murmel::testing::Click(PanelButton(IDC_SEND));
  SetTransferProgressObserver(NoteProgress);  // Send installs the panel's display first
  const bool sent = Pump([] { return appState.sendThread.load() == nullptr; }, 120.0);
  const double accepted = SecondsSince(send_clicked);
  kill(server_pid, SIGTERM);
  waitpid(server_pid, nullptr, 0);
  server_pid = -1;
  // The client shows a message box for every failure, the server's refusal included.
  if (!sent || !reached_full || !murmel::testing::MessageBoxesShown().empty()) {
    return Fail("the send did not succeed");
  }
  std::printf("send:      %u-byte voice image, Send to 100 %% in %.3f s, accepted in %.3f s\n",
              image, std::chrono::duration<double>(full_at - send_clicked).count(), accepted);
  std::filesystem::remove_all(dir);
  std::fflush(stdout);
  std::_Exit(0);  // the client's single-instance lock went with the folder
}
