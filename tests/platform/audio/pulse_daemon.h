// A private PulseAudio daemon for one test: a null sink at 8 kHz mono 16-bit whose monitor
// is the default source, reachable only through its own socket. Stopped at the end.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/kernel_test_files.h"
#include "support/temp_dir.h"

namespace wave_test {

class PulseDaemon {
 public:
  ~PulseDaemon() { Stop(); }

  // False, with the reason, when the daemon cannot be started here. `extra_script` lines
  // run after the default set-up (e.g. another default source).
  bool Start(std::string& why, const std::string& extra_script = "") {
    // The socket is made last, so once it exists every sink and source is in place.
    std::ofstream(dir_ / "ci.pa")
        << "load-module module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le\n"
        << "set-default-sink vsink\nset-default-source vsink.monitor\n"
        << extra_script
        << "\nload-module module-native-protocol-unix auth-anonymous=1 socket=" << (dir_ / "native")
        << "\n";
    // Its own runtime folder (mode 700, as mkdtemp makes it) and home: nothing is shared
    // with a desktop session's server.
    std::vector<std::string> args = {"pulseaudio",        "-n",
                                     "--daemonize=no",    "--exit-idle-time=-1",
                                     "--use-pid-file=no", "--realtime=no",
                                     "--high-priority=no"};
    args.insert(args.end(), {"-F", dir_ / "ci.pa", "--log-target=file:" + (dir_ / "daemon.log")});
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dir_.path(), "HOME=" + dir_.path(),
                                    "PATH=/usr/bin:/bin"};
    const auto pointers = [](std::vector<std::string>& strings) {
      std::vector<char*> p;
      p.reserve(strings.size() + 1);
      for (std::string& s : strings) p.push_back(s.data());
      p.push_back(nullptr);
      return p;
    };
    std::vector<char*> argv = pointers(args), envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      pid_ = 0;
      why = "pulseaudio could not be run (is the pulseaudio package installed?)";
      return false;
    }
    // Poll until its socket is there; the bound only turns a broken daemon into a skip.
    for (int attempt = 0; attempt < 200 && waitpid(pid_, nullptr, WNOHANG) == 0; ++attempt) {
      if (std::filesystem::exists(dir_ / "native")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why = "pulseaudio did not start: " + murmel::test::ReadHostFile(dir_ / "daemon.log");
    Stop();
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
  murmel::test::TempDir dir_;
  pid_t pid_ = 0;
};

}  // namespace wave_test
