// Files checked from the host's side: raw bytes, the UTF-16 text the device's files hold,
// and a private device root whose \Windows folder tests read and write directly.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace murmel::test {

// ASCII text (test paths and names) as UTF-16.
inline std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// UTF-16LE bytes of a text, two per character, no byte-order mark.
inline std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t ch : text) {
    bytes.push_back(static_cast<char>(ch & 0xFF));
    bytes.push_back(static_cast<char>(ch >> 8));
  }
  return bytes;
}

// The file's bytes as the host sees them; empty when it cannot be read.
inline std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool WriteHostFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Text from UTF-16LE bytes; an odd last byte is not a character.
inline std::u16string ReadUtf16File(const std::string& path) {
  const std::string bytes = ReadHostFile(path);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

// Writes the text as the device's files hold it, creating the folders on the way.
inline bool WriteUtf16File(const std::string& path, std::u16string_view text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return WriteHostFile(path, Utf16Bytes(text));
}

// The device's \Windows folder in a private root for one test.
class DeviceFolder {
 public:
  std::string HostPath(const std::string& name) const { return root_ / ("Windows/" + name); }
  void Write(const std::string& name, std::string_view bytes) const {
    std::filesystem::create_directories(root_ / "Windows");
    WriteHostFile(HostPath(name), bytes);
  }
  void WriteText(const std::string& name, std::u16string_view text) const {
    Write(name, Utf16Bytes(text));
  }
  std::string Read(const std::string& name) const { return ReadHostFile(HostPath(name)); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(HostPath(name)); }

 private:
  TempDir root_;
  ScopedEnv root_env_{"MURMELPOST_DEVICE_ROOT", root_.path()};
};

}  // namespace murmel::test
