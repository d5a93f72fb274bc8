// A transfer peer with nothing but sockets: greets with "TROK" and answers every frame
// with "TROK", quick-acking after each read. murmelpost-send against it shows the client's
// own frame rate without any server's cost (bench/client_frame_rate.py).
// Prints "port N" and serves one connection after another until killed.
#include <cstdio>

#include "raw_frame_peer.h"

int main() {
  using namespace raw_frames;
  sockaddr_in address{};
  const int listener = ListenOnLoopback(address);
  if (listener < 0) {
    std::perror("raw_frame_peer: cannot listen on loopback");
    return 1;
  }
  std::printf("port %d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    if (WriteAll(fd, kTrok, sizeof kTrok)) AnswerFrames(fd);
  }
}
