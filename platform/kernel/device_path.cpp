#include "platform/kernel/device_path.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace murmel::kernel {
namespace {

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvironmentValue("HOME");
  if (!home.empty()) return home;
  // No HOME (a service, a stripped environment): the password database knows it.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return "/";
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// Creates the folder when missing; true when it exists afterwards.
bool EnsureFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace

std::string DeviceRootFolder() {
  std::string root = EnvironmentValue("MURMELPOST_DEVICE_ROOT");
  if (!root.empty()) return WithoutTrailingSlashes(root);
  // The XDG rules ignore a relative XDG_DATA_HOME.
  std::string data_home = EnvironmentValue("XDG_DATA_HOME");
  if (data_home.empty() || data_home.front() != '/') {
    data_home = WithoutTrailingSlashes(HomeFolder()) + "/.local/share";
  }
  return WithoutTrailingSlashes(data_home) + "/murmelpost/device";
}

std::string DocumentsFolder() {
  const std::string home = WithoutTrailingSlashes(HomeFolder());
  std::string documents = (home == "/" ? "" : home) + "/Documents";
  return EnsureFolder(documents) ? documents : home;
}

std::string HostPathFor(std::u16string_view path) {
  std::string text = Utf16ToUtf8(path);
  if (text.empty()) return text;
  const bool host_path = text.front() == '/';
  std::replace(text.begin(), text.end(), '\\', '/');
  if (host_path) return text;

  // A device path; the device has no current folder, so a relative name lies in its root.
  const std::size_t start = text.find_first_not_of('/');
  if (start == std::string::npos) return DeviceRootFolder() + "/";
  const std::size_t end = std::min(text.find('/', start), text.size());
  const std::string_view folder = std::string_view(text).substr(start, end - start);
  const std::string_view rest = std::string_view(text).substr(end);

  if (EqualsIgnoringAsciiCase(folder, "My Documents")) {
    return DocumentsFolder() + std::string(rest);
  }
  const std::string root = DeviceRootFolder();
  if (EqualsIgnoringAsciiCase(folder, "Windows")) {
    // The device always has its \Windows folder; a fresh device root gets one here.
    const std::string windows = root + "/Windows";
    EnsureFolder(windows);
    return windows + std::string(rest);
  }
  return root + "/" + std::string(folder) + std::string(rest);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    const bool high = code >= 0xD800 && code <= 0xDBFF;
    const bool low = code >= 0xDC00 && code <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (high || low) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace murmel::kernel
