// murmelpost-demo: runs the real client with a simulated user (see demo_driver.h).
// Usage: murmelpost-demo [--record-ms N] [--screenshots DIR]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resources/client_resources.h"
#include "shell/startup.h"
#include "tools/murmelpost_demo/demo_driver.h"

int main(int argc, char** argv) {
  murmel::demo::DemoOptions options;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--record-ms") == 0 && has_value) {
      options.record_time = std::chrono::milliseconds(std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--screenshots") == 0 && has_value) {
      options.screenshot_dir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: murmelpost-demo [--record-ms N] [--screenshots DIR]\n");
      return 2;
    }
  }
  RegisterClientResources();
  if (!murmel::demo::StartDemoDriver(options)) {
    std::fprintf(stderr, "demo: cannot start the driver\n");
    return 1;
  }
  WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
  return murmel::demo::DemoResult();
}
