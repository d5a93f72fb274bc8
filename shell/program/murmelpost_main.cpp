// The program's start on the emulated handheld: the resources the client carries are
// registered, then the client runs from its own entry point. The client itself reads no
// command line; --help and --version are answered here, before any display is needed.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "resources/client_resources.h"
#include "shell/startup.h"

namespace {

constexpr char kUsage[] =
    "Usage: murmelpost [--help | --version]\n"
    "Records a spoken message, addresses it and sends it as e-mail through a Murmelpost\n"
    "transfer server, in a window that shows a 240 x 320 handheld screen. It takes no other\n"
    "arguments; the first start asks for the sender's profile.\n\n"
    "Environment:\n"
    "  MURMELPOST_SERVER_HOST  the transfer server's host (built-in default: localhost)\n"
    "  MURMELPOST_AUDIO        wave audio: pulse (default), none, or\n"
    "                          file:in=PATH,out=PATH to record from and play into WAV files\n"
    "  MURMELPOST_DEVICE_ROOT  the folder behind the handheld's own folders (default\n"
    "                          $XDG_DATA_HOME/murmelpost/device)\n"
    "  QT_SCALE_FACTOR         enlarges the handheld's screen, e.g. 2\n"
    "  QT_QPA_PLATFORM         offscreen runs it without a display\n\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
      std::puts("murmelpost " MURMELPOST_VERSION);
      return 0;
    }
    std::fprintf(stderr, "murmelpost: unknown argument %s (see --help)\n", argv[1]);
    return 2;
  }
  RegisterClientResources();
  return WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
}
