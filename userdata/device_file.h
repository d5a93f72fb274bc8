// The data files of the device's \Windows folder, read whole as UTF-16 text and replaced
// whole, so that neither a cut file nor a full disk costs what the file held.
#pragma once

#include <windows.h>

#include <string>

#include "state/scoped_resources.h"

// ReadDeviceFile results.
constexpr int DEVICE_FILE_READ = 1;
constexpr int DEVICE_FILE_MISSING = 0;
constexpr int DEVICE_FILE_UNREADABLE = -1;

using DeviceText = HeapPtr<WCHAR>;

// Reads the whole file, opened with shareMode, into zero-filled heap units that end in a
// whole NUL unit whatever the file's size: an odd last byte is a unit of its own. Whether
// an open fails because the file is missing or for another reason is told apart.
int ReadDeviceFile(const WCHAR* path, DWORD shareMode, DeviceText& text);

// Replaces the file by the text's units (no NUL): written to a temporary file beside it,
// flushed, and renamed over it. On any failure the old file stays as it was and the
// temporary file is removed.
bool ReplaceDeviceFile(const WCHAR* path, const std::u16string& text);
