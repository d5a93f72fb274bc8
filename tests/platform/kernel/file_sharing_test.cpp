// Share modes of CreateFileW, within this process and against another process.
#include <gtest/gtest.h>
#include <unistd.h>
#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/kernel_child_process.h"
#include "support/kernel_test_files.h"
#include "support/temp_dir.h"

namespace {

using murmel::test::KernelChildProcess;
using murmel::test::Widen;

constexpr DWORD kRead = GENERIC_READ;
constexpr DWORD kWrite = GENERIC_WRITE;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr const char* kChildVariable = "MURMEL_KERNEL_TEST_OPEN";

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD how = OPEN_EXISTING) {
  return CreateFileW(Widen(path).c_str(), access, share, nullptr, how, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Child role: started with kChildVariable = "access share path", this executable opens the
// file, prints "opened" or "error N", keeps the file open until its input closes, and exits
// without running any test.
const bool kIsChild = [] {
  const char* request = std::getenv(kChildVariable);
  if (!request) return false;
  std::istringstream fields(request);
  DWORD access = 0, share = 0;
  std::string path;
  fields >> access >> share >> std::ws;
  std::getline(fields, path);
  const std::string report = Open(path, access, share) == INVALID_HANDLE_VALUE
                                 ? "error " + std::to_string(GetLastError()) + "\n"
                                 : std::string("opened\n");
  char ignored = 0;
  if (write(STDOUT_FILENO, report.data(), report.size()) > 0) {
    while (read(STDIN_FILENO, &ignored, 1) > 0) {
    }
  }
  _exit(0);
}();

class FileSharingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(murmel::test::WriteHostFile(path_, "content")); }

  // A child process that opens the test file as asked.
  std::vector<std::string> ChildOpens(DWORD access, DWORD share) const {
    return {std::string(kChildVariable) + "=" + std::to_string(access) + " " +
            std::to_string(share) + " " + path_};
  }

  // Whether this process may open the file now; a refusal must be a sharing violation.
  bool Opens(DWORD access, DWORD share, DWORD how = OPEN_EXISTING) {
    HANDLE file = Open(path_, access, share, how);
    if (file == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
      return false;
    }
    return CloseHandle(file);
  }

  murmel::test::TempDir dir_;
  const std::string path_ = dir_ / "CEVireoRec.arr";
};

TEST_F(FileSharingTest, SecondOpenInSameProcessFollowsShareRules) {
  const struct {
    DWORD first_access, first_share, second_access, second_share;
    bool second_opens;
  } cases[] = {
      {kRead, FILE_SHARE_READ, kRead, FILE_SHARE_READ, true},
      {kRead, 0, kRead, FILE_SHARE_READ, false},            // first refuses reading
      {kRead, FILE_SHARE_READ, kRead, 0, false},            // second refuses first's reading
      {kRead, FILE_SHARE_READ, kWrite, kShareBoth, false},  // first refuses writing
      {kReadWrite, FILE_SHARE_READ, kRead, FILE_SHARE_READ, false},  // second refuses writer
      {kReadWrite, FILE_SHARE_READ, kRead, kShareBoth, true},
      {kWrite, FILE_SHARE_WRITE, kWrite, FILE_SHARE_WRITE, true},
      {kRead, kShareBoth, kReadWrite, FILE_SHARE_READ, true},
      {0, 0, kRead, 0, true},  // opens without data access neither restrict nor are refused
      {kReadWrite, 0, 0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first_access << "/" << c.first_share << " then "
                                    << c.second_access << "/" << c.second_share);
    HANDLE first = Open(path_, c.first_access, c.first_share);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Opens(c.second_access, c.second_share), c.second_opens);
    CloseHandle(first);
    EXPECT_TRUE(Opens(c.second_access, c.second_share)) << "the restriction ends with the open";
  }
}

// Held without sharing by another process: refused until it lets go, even by a crash.
TEST_F(FileSharingTest, FileHeldByAnotherProcessIsRefusedUntilReleasedOrCrashed) {
  for (const bool crash : {false, true}) {
    SCOPED_TRACE(crash ? "crashed" : "released");
    KernelChildProcess child(ChildOpens(kReadWrite, 0));
    ASSERT_EQ(child.ReadLine(), "opened");
    EXPECT_FALSE(Opens(kRead, 0));
    EXPECT_FALSE(Opens(kRead, kShareBoth));
    EXPECT_FALSE(DeleteFileW(Widen(path_).c_str()));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    if (crash) {
      ASSERT_TRUE(WIFSIGNALED(child.Kill()));
    } else {
      EXPECT_EQ(child.Release(), 0);
    }
    EXPECT_TRUE(Opens(kReadWrite, 0));
  }
}

TEST_F(FileSharingTest, SharingRulesHoldBetweenProcessesBothWays) {
  KernelChildProcess reader(ChildOpens(kRead, FILE_SHARE_READ));
  ASSERT_EQ(reader.ReadLine(), "opened");
  EXPECT_TRUE(Opens(kRead, FILE_SHARE_READ));
  EXPECT_FALSE(Opens(kReadWrite, FILE_SHARE_READ));
  // Replacing the file must not cut it short under the other process's feet.
  EXPECT_FALSE(Opens(kReadWrite, FILE_SHARE_READ, CREATE_ALWAYS));
  EXPECT_EQ(murmel::test::ReadHostFile(path_), "content");
  EXPECT_EQ(reader.Release(), 0);

  HANDLE held = Open(path_, kReadWrite, 0, CREATE_ALWAYS);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  KernelChildProcess refused(ChildOpens(kRead, FILE_SHARE_READ));
  EXPECT_EQ(refused.ReadLine(), "error " + std::to_string(ERROR_SHARING_VIOLATION));
  CloseHandle(held);
  KernelChildProcess admitted(ChildOpens(kRead, FILE_SHARE_READ));
  EXPECT_EQ(admitted.ReadLine(), "opened");
}

}  // namespace
