// The program's start on the emulated handheld: the resources the client carries are
// registered, then the client runs from its own entry point. No command line is read.
#include <windows.h>

#include "resources/client_resources.h"
#include "shell/startup.h"

int main() {
  RegisterClientResources();
  return WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
}
