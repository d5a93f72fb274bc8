// Small helpers for kernel tests that check files from the host's side.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace murmel::test {

// ASCII text (test paths and names) as UTF-16.
inline std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

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

}  // namespace murmel::test
