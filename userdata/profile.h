// The sender's profile (the `UserProfile` fields of appState) and its file
// "\Windows\CEVireoRec.pfi".
#pragma once

#include <windows.h>

// ReadProfileFile results.
constexpr int PROFILE_FILE_READ = 1;
constexpr int PROFILE_FILE_MISSING = 0;
constexpr int PROFILE_FILE_UNREADABLE = -1;

// Fills each profile field whose key the file holds. PROFILE_FILE_MISSING when the file
// does not exist, PROFILE_FILE_UNREADABLE when it cannot be opened, sized or read.
int ReadProfileFile();

// True when none of the six fields is empty.
bool IsProfileComplete();

// True when a complete profile is in memory: read from the file, or entered through the
// profile dialog when the file is missing or incomplete. False on a file that cannot be
// read (nothing shown) and when the dialog is cancelled.
bool LoadProfile();

// Writes the seven lines of the file; false when it cannot be created or a write fails.
bool SaveProfile();
