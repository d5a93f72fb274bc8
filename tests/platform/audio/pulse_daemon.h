// A private PulseAudio daemon for one test: a null sink at 8 kHz mono 16-bit whose monitor
// is the default source, reachable only through its own socket. Stopped at the end.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/kernel_test_files.h"
#include "support/temp_dir.h"

namespace wave_test {

class PulseDaemon {
 public:
  PulseDaemon() = default;
  PulseDaemon(const PulseDaemon&) = delete;
  PulseDaemon& operator=(const PulseDaemon&) = delete;
  ~PulseDaemon() { Stop(); }

  // False, with the reason, when the daemon cannot be started here. `extra_script` lines
  // run after the default set-up (e.g. another default source).
  bool Start(std::string& why, const std::string& extra_script = "") {
    std::ofstream(dir_ / "ci.pa")
        << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << (dir_ / "native")
        << "\nload-module module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le\n"
        << "set-default-sink vsink\nset-default-source vsink.monitor\n"
        << extra_script;
    pid_ = Spawn({"pulseaudio", "-n", "-F", dir_ / "ci.pa", "--daemonize=no", "--exit-idle-time=-1",
                  "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                  "--log-target=file:" + (dir_ / "daemon.log")});
    if (pid_ <= 0) {
      why = "pulseaudio could not be run (is the pulseaudio package installed?)";
      return false;
    }
    // Poll until it answers; the bound only turns a broken daemon into a skip.
    for (int attempt = 0; attempt < 200; ++attempt) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        break;
      }
      const pid_t pactl = Spawn({"pactl", "--server=" + server(), "info"});
      if (pactl > 0 && waitpid(pactl, &status, 0) == pactl && WIFEXITED(status) &&
          WEXITSTATUS(status) == 0) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why = "pulseaudio did not answer: " + murmel::test::ReadHostFile(dir_ / "daemon.log");
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

  std::string server() const { return "unix:" + (dir_ / "native"); }
  const murmel::test::TempDir& dir() const { return dir_; }
  pid_t pid() const { return pid_; }

 private:
  // Runs with its own runtime folder (mode 700, as mkdtemp makes it) and home, so nothing
  // is shared with a desktop session's server; output goes nowhere.
  pid_t Spawn(std::vector<std::string> args) const {
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dir_.path(), "HOME=" + dir_.path(),
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
  }

  murmel::test::TempDir dir_;
  pid_t pid_ = 0;
};

}  // namespace wave_test
