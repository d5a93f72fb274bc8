// Runs this test executable again as a child process. The child's output is read line by
// line; its input stays open until Release(), so a child can hold something until the
// parent lets it go, or kills it as a crash would.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace murmel::test {

class KernelChildProcess {
 public:
  // env: NAME=value entries added to this process's environment.
  explicit KernelChildProcess(std::vector<std::string> env) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char program[] = "/proc/self/exe";
    char* argv[] = {program, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (posix_spawn(&pid_, program, &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_child_ = in[1];
    from_child_ = out[0];
  }
  KernelChildProcess(const KernelChildProcess&) = delete;
  KernelChildProcess& operator=(const KernelChildProcess&) = delete;
  ~KernelChildProcess() {
    Kill();
    close(from_child_);
  }

  bool started() const { return pid_ > 0; }

  // One line of output without its newline; empty at the end of the output.
  std::string ReadLine() {
    std::string line;
    char ch = 0;
    while (read(from_child_, &ch, 1) == 1 && ch != '\n') line.push_back(ch);
    return line;
  }

  // Closing its input lets a waiting child end normally; returns the wait status.
  int Release() { return Wait(false); }
  int Kill() { return Wait(true); }

 private:
  int Wait(bool kill_first) {
    // Kill before closing the input: a child that saw its input end could otherwise
    // exit normally first, and the crash would not be a crash.
    if (kill_first && pid_ > 0) kill(pid_, SIGKILL);
    if (to_child_ >= 0) close(to_child_);
    to_child_ = -1;
    int status = 0;
    if (pid_ <= 0) return status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
};

}  // namespace murmel::test
