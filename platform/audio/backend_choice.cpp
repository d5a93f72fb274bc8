#include "platform/audio/backend_choice.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/audio/file_backend.h"
#include "platform/audio/none_backend.h"
#include "platform/audio/pulse_backend.h"

namespace murmel::audio {

namespace {

constexpr std::string_view kUsage =
    "use pulse, none, or file:in=PATH,out=PATH[,pace=realtime|fast]";

bool ParseFileOptions(std::string_view options, AudioChoice& choice, std::string& error) {
  while (!options.empty()) {
    const std::size_t comma = options.find(',');
    const std::string_view option = options.substr(0, comma);
    options = comma == std::string_view::npos ? std::string_view{} : options.substr(comma + 1);
    const std::size_t equals = option.find('=');
    const std::string_view key = option.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view{} : option.substr(equals + 1);
    if (key == "in" && !value.empty()) {
      choice.in_path = value;
    } else if (key == "out" && !value.empty()) {
      choice.out_path = value;
    } else if (key == "pace" && (value == "realtime" || value == "fast")) {
      choice.fast = value == "fast";
    } else {
      error = "\"" + std::string(option) + "\" is not a file audio option; " + std::string(kUsage);
      return false;
    }
  }
  if (choice.in_path.empty() && choice.out_path.empty()) {
    error = "file audio needs in=PATH, out=PATH or both; " + std::string(kUsage);
    return false;
  }
  return true;
}

}  // namespace

bool ParseAudioChoice(std::string_view text, AudioChoice& choice, std::string& error) {
  choice = AudioChoice{};
  if (text.empty() || text == "pulse") return true;
  if (text == "none") {
    choice.kind = AudioChoice::Kind::kNone;
    return true;
  }
  constexpr std::string_view kFilePrefix = "file:";
  if (text.substr(0, kFilePrefix.size()) == kFilePrefix) {
    choice.kind = AudioChoice::Kind::kFile;
    return ParseFileOptions(text.substr(kFilePrefix.size()), choice, error);
  }
  error = "\"" + std::string(text) + "\" is not an audio backend; " + std::string(kUsage);
  return false;
}

std::shared_ptr<WaveBackend> CurrentBackend() {
  static std::mutex mutex;
  static std::string current_text;
  static std::shared_ptr<WaveBackend> current;
  const char* value = std::getenv("MURMELPOST_AUDIO");
  const std::string text = value != nullptr ? value : "";
  std::lock_guard lock(mutex);
  if (current && text == current_text) return current;
  AudioChoice choice;
  std::string error;
  if (!ParseAudioChoice(text, choice, error)) {
    // Said once per value; the program then runs without audio devices.
    std::fprintf(stderr, "murmelpost: MURMELPOST_AUDIO: %s\n", error.c_str());
    choice.kind = AudioChoice::Kind::kNone;
  }
  switch (choice.kind) {
    case AudioChoice::Kind::kPulse:
      current = MakePulseBackend();
      break;
    case AudioChoice::Kind::kFile:
      current = std::make_shared<FileBackend>(choice.in_path, choice.out_path, choice.fast);
      break;
    case AudioChoice::Kind::kNone:
      current = std::make_shared<NoneBackend>();
      break;
  }
  current_text = text;
  return current;
}

}  // namespace murmel::audio
