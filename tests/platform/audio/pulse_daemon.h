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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
    if (dir_.path().empty()) {
      why = "no temporary folder";
      return false;
    }
    {
      std::ofstream script(dir_ / "ci.pa");
      script << "load-module module-native-protocol-unix auth-anonymous=1 socket="
             << (dir_ / "native") << "\n"
             << "load-module module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le\n"
             << "set-default-sink vsink\n"
             << "set-default-source vsink.monitor\n"
             << extra_script;
    }
    // Its own runtime folder (mode 700, as mkdtemp makes it) and home: nothing is shared
    // with a desktop session's server.
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dir_.path(), "HOME=" + dir_.path(),
                                          "PATH=/usr/bin:/bin"};
    pid_ = Spawn({"pulseaudio", "-n", "-F", dir_ / "ci.pa", "--daemonize=no", "--exit-idle-time=-1",
                  "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                  "--log-target=file:" + (dir_ / "daemon.log")},
                 env);
    if (pid_ <= 0) {
      why = "pulseaudio could not be run (is the pulseaudio package installed?)";
      return false;
    }
    // Poll until it answers; the bound only turns a broken daemon into a skip.
    for (int attempt = 0; attempt < 200; ++attempt) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        why = "pulseaudio exited at start: " + Log();
        return false;
      }
      if (Run({"pactl", "--server=" + server(), "info"}, env) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why = "pulseaudio did not answer: " + Log();
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
  }

  std::string server() const { return "unix:" + (dir_ / "native"); }
  const murmel::test::TempDir& dir() const { return dir_; }
  pid_t pid() const { return pid_; }

 private:
  static pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
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

  static int Run(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const pid_t pid = Spawn(args, env);
    if (pid <= 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Log() const {
    std::ifstream log(dir_ / "daemon.log");
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
  }

  murmel::test::TempDir dir_;
  pid_t pid_ = 0;
};

}  // namespace wave_test
