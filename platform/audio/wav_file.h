// Little-endian RIFF WAVE files of linear PCM: the file backend's capture source and
// playback sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mmsystem.h"

namespace murmel::audio {

// A POSIX file descriptor, closed on destruction.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  int get() const { return fd_; }
  int release();
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

class WavReader {
 public:
  // Opens `path` and checks that its audio is exactly `wanted`. On failure `reason` says
  // what is wrong in words a user can act on.
  bool Open(const std::string& path, const WAVEFORMATEX& wanted, std::string& reason);
  // Fills `out` with the next samples, and with silence once the data has ended.
  void Read(BYTE* out, std::size_t size);

 private:
  FileDescriptor file_;
  std::uint64_t remaining_ = 0;  // bytes of the data chunk not yet read
};

class WavWriter {
 public:
  bool Create(const std::string& path, const WAVEFORMATEX& format, std::string& reason);
  // Appends samples and updates the header, so the file is complete after every call.
  bool Append(const BYTE* data, std::size_t size);

 private:
  FileDescriptor file_;
  std::uint32_t data_bytes_ = 0;
};

}  // namespace murmel::audio
