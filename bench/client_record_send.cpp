// Measures the real client, offscreen, as a user runs it: the CPU the whole process uses
// while it records (capture paced in real time by the file audio device, compression on its
// own thread, the elapsed-time display), against the same process idle; then the time from
// a click on Send to 100 % and to the server's acceptance, for that recording, against a
// local murmelpost-server on loopback.
//
//   client_record_send [seconds]     (default 64: the recording limit stops it by itself)
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A voice-like test signal: two partials whose loudness moves like syllables.
double VoiceLike(double t) {
  const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3.5 * t);
  return 6000 * envelope * (std::sin(2 * M_PI * 180 * t) + 0.5 * std::sin(2 * M_PI * 720 * t));
}

struct ServerProcess {
  pid_t pid = -1;
  std::uint16_t port = 0;
};

// Starts murmelpost-server on a free loopback port and learns the port from its log. The
// shell names its own process id and then becomes the server; the pipe stays open so that
// the server's later lines do not fail.
ServerProcess StartServer(const std::filesystem::path& state) {
  const std::string command = "echo $$; exec '" MURMELPOST_SERVER_PROGRAM
                              "' --listen 127.0.0.1:0 --no-http --no-sender-verification "
                              "--state '" +
                              state.string() + "' 2>&1";
  FILE* said = popen(command.c_str(), "r");
  ServerProcess server;
  char line[512];
  if (said == nullptr || std::fgets(line, sizeof line, said) == nullptr) return server;
  server.pid = std::atoi(line);
  while (server.port == 0 && std::fgets(line, sizeof line, said) != nullptr) {
    if (const char* at = std::strstr(line, "listening on port ")) {
      server.port = static_cast<std::uint16_t>(std::atoi(at + 18));
    }
  }
  return server;
}

// The client's own kind of message loop: GetMessageW wakes for every posted or sent
// message, as in the running program; a 10 ms timer lets the bench look at `done`.
bool Pump(const std::function<bool()>& done, double limit_seconds) {
  constexpr UINT_PTR kBenchTimer = 0xBE7C;
  SetTimer(appState.mainWindow, kBenchTimer, 10, nullptr);
  const auto start = Clock::now();
  MSG message{};
  bool finished = true;
  while (!done()) {
    if (SecondsSince(start) > limit_seconds) {
      finished = false;
      break;
    }
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  KillTimer(appState.mainWindow, kBenchTimer);
  return finished;
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
  std::filesystem::create_directories(dir / "runtime");
  std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
  setenv("MURMELPOST_DEVICE_ROOT", (dir / "device").c_str(), 1);
  murmel::test::WritePcmWav(dir / "voice.wav", seconds + 5, VoiceLike);
  const std::string audio =
      "file:in=" + (dir / "voice.wav").string() + ",out=" + (dir / "played.wav").string();
  setenv("MURMELPOST_AUDIO", audio.c_str(), 1);
  murmel::test::WriteUtf16File(
      dir / "device/Windows/CEVireoRec.pfi",
      u"[VireoRec]\r\nemail=sam@example.org\r\nname=Sam Sender\r\nsex=Mr.\r\n"
      u"city=Springfield\r\nstate=IL\r\ncountry=United States\r\n");

  const ServerProcess server = StartServer(dir / "state");
  if (server.port == 0) {
    std::fprintf(stderr, "murmelpost-server did not start\n");
    return 1;
  }
  SetServerEndpoint(u"127.0.0.1", server.port);

  RegisterClientResources();
  murmel::testing::AnswerMessageBoxes(IDOK);
  const auto start = Clock::now();
  if (InitInstance(nullptr) != 1) {
    std::fprintf(stderr, "the client did not start\n");
    kill(server.pid, SIGTERM);
    return 1;
  }
  murmel::testing::ProcessEvents();
  std::printf("start-up to the main window: %.3f s\n", SecondsSince(start));

  // The same process idle for five seconds, as the baseline.
  double cpu = ProcessCpuSeconds();
  auto wall = Clock::now();
  Pump([] { return false; }, 5.0);
  std::printf("idle:      %5.2f %% of one core\n",
              100 * (ProcessCpuSeconds() - cpu) / SecondsSince(wall));

  cpu = ProcessCpuSeconds();
  wall = Clock::now();
  murmel::testing::Click(PanelButton(IDC_RECORD));
  const bool limit = seconds >= 64.0;
  if (!limit) {
    Pump([] { return false; }, seconds);
    murmel::testing::Click(PanelButton(IDC_STOP));
  }
  const bool stopped = Pump(
      [] { return appState.recorderState == RECORDER_IDLE && appState.recordingAvailable == 1; },
      90.0);
  const double recording_wall = SecondsSince(wall);
  std::printf("recording: %5.2f %% of one core over %.1f s (%d chunks, %s)\n",
              100 * (ProcessCpuSeconds() - cpu) / recording_wall, recording_wall,
              appState.voiceChunkCount.load(),
              limit ? "stopped by the 64 s limit" : "stopped by Stop");
  if (!stopped) {
    std::fprintf(stderr, "the recording did not end\n");
    kill(server.pid, SIGTERM);
    return 1;
  }

  SetWindowTextW(GetDlgItem(appState.mainWindow, IDC_RECIPIENTS), u"ann@example.org");
  SetWindowTextW(GetDlgItem(appState.mainWindow, IDC_SUBJECT), u"Benchmark");
  const DWORD image = VoiceImageSize();
  const auto send_clicked = Clock::now();
  murmel::testing::Click(PanelButton(IDC_SEND));
  SetTransferProgressObserver(NoteProgress);  // Send installs the panel's display first
  const bool sent = Pump([] { return appState.sendThread.load() == nullptr; }, 120.0);
  const double accepted = SecondsSince(send_clicked);
  kill(server.pid, SIGTERM);
  waitpid(server.pid, nullptr, 0);
  // The client shows a message box for every failure, the server's refusal included.
  if (!sent || !reached_full || !murmel::testing::MessageBoxesShown().empty()) {
    std::fprintf(stderr, "the send did not succeed\n");
    return 1;
  }
  std::printf("send:      %u-byte voice image, Send to 100 %% in %.3f s, accepted in %.3f s\n",
              image, std::chrono::duration<double>(full_at - send_clicked).count(), accepted);
  std::filesystem::remove_all(dir);
  std::fflush(stdout);
  std::_Exit(0);  // the client's single-instance lock went with the folder
}
