#include "platform/audio/wav_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace murmel::audio {

namespace {

constexpr std::size_t kHeaderSize = 44;
constexpr std::uint32_t kDataSizeOffset = 40;
constexpr std::uint32_t kRiffSizeOffset = 4;

std::uint32_t Le32(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t Le16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void PutLe32(BYTE* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

// A four-character chunk name, without its NUL.
void PutTag(BYTE* p, const char (&tag)[5]) { std::copy_n(tag, 4, p); }

void PutLe16(BYTE* p, std::uint16_t v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}

// Reads exactly `size` bytes unless the file ends first; returns the count read.
std::size_t ReadFully(int fd, BYTE* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool WriteFully(int fd, const BYTE* data, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string DescribeFormat(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                           std::uint16_t bits) {
  if (tag != WAVE_FORMAT_PCM) return "format tag " + std::to_string(tag) + " (not linear PCM)";
  return std::to_string(rate) + " Hz, " + std::to_string(channels) + " channel(s), " +
         std::to_string(bits) + "-bit PCM";
}

}  // namespace

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() { return std::exchange(fd_, -1); }

bool WavReader::Open(const std::string& path, const WAVEFORMATEX& wanted, std::string& reason) {
  file_ = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file_) {
    reason = std::strerror(errno);
    return false;
  }
  BYTE riff[12];
  if (ReadFully(file_.get(), riff, sizeof riff) != sizeof riff ||
      std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    reason = "not a RIFF WAVE file";
    return false;
  }
  bool have_format = false;
  for (;;) {
    BYTE chunk[8];
    if (ReadFully(file_.get(), chunk, sizeof chunk) != sizeof chunk) {
      reason = have_format ? "no data chunk" : "no fmt chunk";
      return false;
    }
    const std::uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      BYTE fmt[16];
      if (size < sizeof fmt || ReadFully(file_.get(), fmt, sizeof fmt) != sizeof fmt) {
        reason = "short fmt chunk";
        return false;
      }
      const std::uint16_t tag = Le16(fmt);
      const std::uint16_t channels = Le16(fmt + 2);
      const std::uint32_t rate = Le32(fmt + 4);
      const std::uint16_t bits = Le16(fmt + 14);
      if (tag != wanted.wFormatTag || channels != wanted.nChannels ||
          rate != wanted.nSamplesPerSec || bits != wanted.wBitsPerSample) {
        reason = "its audio is " + DescribeFormat(tag, channels, rate, bits) + ", not " +
                 DescribeFormat(wanted.wFormatTag, wanted.nChannels, wanted.nSamplesPerSec,
                                wanted.wBitsPerSample) +
                 " (convert it, e.g. sox IN -r " + std::to_string(wanted.nSamplesPerSec) + " -c " +
                 std::to_string(wanted.nChannels) + " -b " + std::to_string(wanted.wBitsPerSample) +
                 " -e signed-integer OUT.wav)";
        return false;
      }
      have_format = true;
      // Chunks are padded to an even size.
      if (::lseek(file_.get(), static_cast<off_t>((size - sizeof fmt) + (size & 1)), SEEK_CUR) <
          0) {
        reason = std::strerror(errno);
        return false;
      }
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) {
        reason = "data chunk before the fmt chunk";
        return false;
      }
      remaining_ = size;
      return true;
    } else if (::lseek(file_.get(), static_cast<off_t>(size) + (size & 1), SEEK_CUR) < 0) {
      reason = std::strerror(errno);
      return false;
    }
  }
}

void WavReader::Read(BYTE* out, std::size_t size) {
  std::size_t done = 0;
  if (remaining_ > 0 && file_) {
    const std::size_t wanted = size < remaining_ ? size : static_cast<std::size_t>(remaining_);
    done = ReadFully(file_.get(), out, wanted);
    // A file cut short ends its data where it ends.
    remaining_ = done < wanted ? 0 : remaining_ - done;
  }
  std::memset(out + done, 0, size - done);
}

bool WavWriter::Create(const std::string& path, const WAVEFORMATEX& format, std::string& reason) {
  file_ = FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!file_) {
    reason = std::strerror(errno);
    return false;
  }
  BYTE header[kHeaderSize];
  PutTag(header, "RIFF");
  PutLe32(header + kRiffSizeOffset, kHeaderSize - 8);
  PutTag(header + 8, "WAVE");
  PutTag(header + 12, "fmt ");
  PutLe32(header + 16, 16);
  PutLe16(header + 20, format.wFormatTag);
  PutLe16(header + 22, format.nChannels);
  PutLe32(header + 24, format.nSamplesPerSec);
  PutLe32(header + 28, format.nAvgBytesPerSec);
  PutLe16(header + 32, format.nBlockAlign);
  PutLe16(header + 34, format.wBitsPerSample);
  PutTag(header + 36, "data");
  PutLe32(header + kDataSizeOffset, 0);
  if (!WriteFully(file_.get(), header, sizeof header, 0)) {
    reason = std::strerror(errno);
    return false;
  }
  data_bytes_ = 0;
  return true;
}

bool WavWriter::Append(const BYTE* data, std::size_t size) {
  if (!file_) return false;
  if (!WriteFully(file_.get(), data, size, static_cast<off_t>(kHeaderSize + data_bytes_))) {
    return false;
  }
  data_bytes_ += static_cast<std::uint32_t>(size);
  BYTE sizes[4];
  PutLe32(sizes, data_bytes_);
  bool ok = WriteFully(file_.get(), sizes, 4, kDataSizeOffset);
  PutLe32(sizes, static_cast<std::uint32_t>(kHeaderSize - 8 + data_bytes_));
  ok = WriteFully(file_.get(), sizes, 4, kRiffSizeOffset) && ok;
  return ok;
}

}  // namespace murmel::audio
