// The device's \Windows folder in a private root for each test, and raw access to the
// bytes of its files, so that tests see exactly what the client reads and writes.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "state/app_state.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace userdata_test {

// UTF-16LE bytes of a text, two per character, no byte-order mark.
inline std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t ch : text) {
    bytes.push_back(static_cast<char>(ch & 0xFF));
    bytes.push_back(static_cast<char>(ch >> 8));
  }
  return bytes;
}

inline void ClearProfile() {
  appState.email.clear();
  appState.name.clear();
  appState.sex.clear();
  appState.city.clear();
  appState.state.clear();
  appState.country.clear();
}

class DeviceFolder {
 public:
  DeviceFolder() : root_env_("MURMELPOST_DEVICE_ROOT", root_.path()) {}

  std::string HostPath(const std::string& name) const { return root_.path() + "/Windows/" + name; }

  void Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(root_.path() + "/Windows");
    std::ofstream(HostPath(name), std::ios::binary | std::ios::trunc) << bytes;
  }
  void WriteText(const std::string& name, std::u16string_view text) const {
    Write(name, Utf16Bytes(text));
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(HostPath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(HostPath(name)); }

 private:
  murmel::test::TempDir root_;
  murmel::test::ScopedEnv root_env_;
};

}  // namespace userdata_test
