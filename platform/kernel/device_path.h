// Where the emulated device's files live on the host.
//
// Device paths start with a backslash and name folders of the device: "\Windows\..." lies
// under the device root ($MURMELPOST_DEVICE_ROOT, by default
// $XDG_DATA_HOME/murmelpost/device), "\My Documents\..." is the user's documents folder,
// and any other "\Folder\..." lies under the device root as well. A path that starts with
// a slash is already a host path and passes through. Backslashes become slashes and the
// UTF-16 text becomes UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace murmel::kernel {

// The device's root folder on the host (not created here).
std::string DeviceRootFolder();

// The user's documents folder: $HOME/Documents, created when missing; $HOME when it
// cannot be created.
std::string DocumentsFolder();

// The host path of a device or host path. Creates the device's \Windows folder, or the
// documents folder, when the path lies in it and it does not exist yet.
std::string HostPathFor(std::u16string_view path);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace murmel::kernel
