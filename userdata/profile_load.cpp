#include "userdata/profile.h"
#include "userdata/profile_dialog.h"

// Start-up cannot go on without a sender, so a missing or incomplete profile forces the
// dialog; a file that exists but cannot be read ends the program without asking.
bool LoadProfile() {
  switch (ReadProfileFile()) {
    case PROFILE_FILE_MISSING:
      return RunProfileDialog(nullptr) != 0;
    case PROFILE_FILE_READ:
      return IsProfileComplete() || RunProfileDialog(nullptr) != 0;
    default:
      return false;
  }
}
