// Opening, reading, writing, sizing and deleting files, with the platform's failure codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>

#include "support/kernel_test_files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

using murmel::test::ReadHostFile;
using murmel::test::WriteHostFile;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "device/Windows");
    ASSERT_TRUE(WriteHostFile(path_, "old content"));
  }

  HANDLE Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }

  murmel::test::TempDir dir_;
  murmel::test::ScopedEnv root_{"MURMELPOST_DEVICE_ROOT", dir_ / "device"};
  const std::string path_ = dir_ / "device/Windows/CEVireoRec.pfi";
  const std::u16string device_path_ = u"\\Windows\\CEVireoRec.pfi";
};

TEST_F(FileTest, FailedOpensReportThePlatformsErrors) {
  const struct {
    std::u16string path;
    DWORD access, disposition, error;
  } cases[] = {
      {u"\\Windows\\CEVireoRec.arr", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"\\Windows\\Nowhere\\a.pfi", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\Windows\\Nowhere\\a.arr", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"\\Windows\\CEVireoRec.pfi\\x", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\Windows", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder
      {device_path_, GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
      {u"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {device_path_, GENERIC_READ, 6, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path) + " " + std::to_string(c.disposition));
    EXPECT_EQ(Open(c.path, c.access, 0, c.disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(ReadHostFile(path_), "old content");
}

TEST_F(FileTest, Utf16TextWithCrLfSurvivesWriteAndReadByteForByte) {
  const char16_t text[] = u"[Address]\r\ncount=1\r\naddress0=d\u00e9j\u00e0@example.org\r\n";
  const DWORD size = sizeof(text) - sizeof(char16_t);  // without the NUL
  HANDLE file = Open(device_path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(file, text, size, &count, nullptr));
  EXPECT_EQ(count, size);
  ASSERT_TRUE(CloseHandle(file));
  // On the host exactly the units written: no byte order mark, no NUL, CR LF kept.
  EXPECT_EQ(ReadHostFile(path_), std::string(reinterpret_cast<const char*>(text), size));

  file = Open(device_path_, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  char16_t back[64] = {};
  ASSERT_TRUE(ReadFile(file, back, sizeof(back), &count, nullptr));
  EXPECT_EQ(count, size);
  EXPECT_EQ(std::u16string(back), std::u16string(text));
  ASSERT_TRUE(ReadFile(file, back, sizeof(back), &count, nullptr));
  EXPECT_EQ(count, 0u);  // the end of the file: success with nothing
  // A read-only handle refuses writing, cutting and flushing.
  EXPECT_FALSE(WriteFile(file, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_FALSE(FlushFileBuffers(file));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  CloseHandle(file);
}

TEST_F(FileTest, DispositionsReportAndTruncateAsThePlatformDoes) {
  for (const auto& [disposition, error, content_after] :
       {std::tuple{DWORD{OPEN_EXISTING}, DWORD{ERROR_SUCCESS}, "old content"},
        std::tuple{DWORD{CREATE_ALWAYS}, DWORD{ERROR_ALREADY_EXISTS}, ""}}) {
    SCOPED_TRACE(disposition);
    SetLastError(12345);
    HANDLE file = Open(device_path_, GENERIC_READ | GENERIC_WRITE, 0, disposition);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), error);
    CloseHandle(file);
    EXPECT_EQ(ReadHostFile(path_), content_after);
  }
}

TEST_F(FileTest, FlushNeedsAWriterAndSizeIsSplitAtThirtyTwoBits) {
  HANDLE file = Open(device_path_, GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_TRUE(FlushFileBuffers(file));
  CloseHandle(file);

  const struct {
    std::uint64_t size;
    DWORD low, high;
  } cases[] = {{5, 5, 0}, {0x100000005, 5, 1}, {0x1FFFFFFFF, 0xFFFFFFFF, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::filesystem::resize_file(path_, c.size);  // sparse: takes no real disk space
    file = Open(device_path_, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    DWORD high = 77;
    SetLastError(12345);
    EXPECT_EQ(GetFileSize(file, &high), c.low);
    EXPECT_EQ(high, c.high);
    if (c.low == INVALID_FILE_SIZE) {
      EXPECT_EQ(GetLastError(), DWORD{NO_ERROR});  // told from failure this way
    }
    CloseHandle(file);
  }
}

TEST_F(FileTest, DeleteFileRemovesOnlyFilesNobodyHolds) {
  HANDLE holding = Open(device_path_, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(DeleteFileW(device_path_.c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  CloseHandle(holding);
  EXPECT_TRUE(DeleteFileW(device_path_.c_str()));
  EXPECT_FALSE(DeleteFileW(device_path_.c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_FALSE(DeleteFileW(u"\\Windows"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(FileTest, MoveFileExReplacesOnlyWhenAskedAndNeverAFileHeldAgainstDeletion) {
  const std::u16string new_path = u"\\Windows\\CEVireoRec.pfi.new";
  const std::string new_host = dir_ / "device/Windows/CEVireoRec.pfi.new";
  const DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  const struct {
    const char* name;
    DWORD share_of_holder;  // of an open of the old file, 0xFF: none
    DWORD flags;
    DWORD error;  // ERROR_SUCCESS: moved
  } cases[] = {
      {"existing target without the replace flag", 0xFF, MOVEFILE_WRITE_THROUGH,
       ERROR_ALREADY_EXISTS},
      {"target held by a reader", FILE_SHARE_READ, replace, ERROR_SHARING_VIOLATION},
      {"unknown flag", 0xFF, replace | 2, ERROR_INVALID_PARAMETER},
      {"replacing", 0xFF, replace, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteHostFile(path_, "old content"));
    ASSERT_TRUE(WriteHostFile(new_host, "new content"));
    const HANDLE holder = c.share_of_holder == 0xFF
                              ? INVALID_HANDLE_VALUE
                              : Open(device_path_, GENERIC_READ, c.share_of_holder, OPEN_EXISTING);
    SetLastError(12345);
    EXPECT_EQ(MoveFileExW(new_path.c_str(), device_path_.c_str(), c.flags) != FALSE,
              c.error == ERROR_SUCCESS);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    EXPECT_EQ(ReadHostFile(path_), c.error == ERROR_SUCCESS ? "new content" : "old content");
    EXPECT_EQ(std::filesystem::exists(new_host), c.error != ERROR_SUCCESS);
  }
  EXPECT_FALSE(MoveFileExW(new_path.c_str(), device_path_.c_str(), replace));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
