#include "userdata/profile.h"

#include <string>

#include "state/app_state.h"
#include "userdata/device_file.h"
#include "userdata/key_value.h"

namespace {

constexpr const WCHAR* PROFILE_PATH = u"\\Windows\\CEVireoRec.pfi";

template <std::size_t N>
void AppendField(std::u16string& text, const WCHAR* format, const Text<N>& field) {
  WCHAR line[N + 16];
  text.append(line, static_cast<std::size_t>(wsprintfW(line, format, field)));
}

}  // namespace

int ReadProfileFile() {
  DeviceText block;
  const int result = ReadDeviceFile(PROFILE_PATH, 0, block);
  if (result != DEVICE_FILE_READ) {
    return result == DEVICE_FILE_MISSING ? PROFILE_FILE_MISSING : PROFILE_FILE_UNREADABLE;
  }

  // Neither the section line nor the order matters: each key is searched in the whole text.
  const WCHAR* text = block.get();
  ReadKeyValue(text, u"email=", appState.email);
  ReadKeyValue(text, u"name=", appState.name);
  ReadKeyValue(text, u"sex=", appState.sex);
  ReadKeyValue(text, u"city=", appState.city);
  ReadKeyValue(text, u"state=", appState.state);
  ReadKeyValue(text, u"country=", appState.country);
  return PROFILE_FILE_READ;
}

bool IsProfileComplete() {
  return !appState.email.empty() && !appState.name.empty() && !appState.sex.empty() &&
         !appState.city.empty() && !appState.state.empty() && !appState.country.empty();
}

bool SaveProfile() {
  std::u16string text = u"[VireoRec]\r\n";
  AppendField(text, u"email=%s\r\n", appState.email);
  AppendField(text, u"name=%s\r\n", appState.name);
  AppendField(text, u"sex=%s\r\n", appState.sex);
  AppendField(text, u"city=%s\r\n", appState.city);
  AppendField(text, u"state=%s\r\n", appState.state);
  AppendField(text, u"country=%s\r\n", appState.country);
  // Replaced whole: a failed write keeps the old profile rather than a part of the new one.
  return ReplaceDeviceFile(PROFILE_PATH, text);
}
