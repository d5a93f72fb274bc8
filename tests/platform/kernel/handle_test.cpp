// Closed, bogus and mismatched handles fail with ERROR_INVALID_HANDLE, and a closed handle
// never comes back to life through a later object; the process heap zero-fills when asked.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace {

// Each operation answers whether it failed.
const std::function<bool(HANDLE)> kOperations[] = {
    [](HANDLE h) { return !CloseHandle(h); },
    [](HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_FAILED; },
    [](HANDLE h) { return !SetEvent(h); },
    [](HANDLE h) {
      char buffer[4];
      DWORD count = 0;
      return !ReadFile(h, buffer, sizeof(buffer), &count, nullptr);
    },
    [](HANDLE h) { return GetFileSize(h, nullptr) == INVALID_FILE_SIZE; },
};

void ExpectEveryOperationFails(HANDLE handle) {
  for (std::size_t i = 0; i < std::size(kOperations); ++i) {
    SCOPED_TRACE(i);
    SetLastError(0);
    EXPECT_TRUE(kOperations[i](handle));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
}

TEST(HandleTest, BogusAndClosedHandlesFailEveryOperation) {
  for (std::uintptr_t value : {std::uintptr_t{0}, ~std::uintptr_t{0}, std::uintptr_t{0x1234},
                               std::uintptr_t{0x100000006}, std::uintptr_t{0x7FFFFFFF00000004}}) {
    SCOPED_TRACE(value);
    ExpectEveryOperationFails(reinterpret_cast<HANDLE>(value));
  }

  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(closed));
  ExpectEveryOperationFails(closed);
  // Later objects take the freed slot, but the old handle never reaches them.
  for (int i = 0; i < 5000; ++i) {
    HANDLE later = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(later, closed);
    ASSERT_FALSE(SetEvent(closed));
    ASSERT_EQ(WaitForSingleObject(later, 0), DWORD{WAIT_TIMEOUT});
    CloseHandle(later);
  }
}

TEST(HandleTest, HandleOfAnotherKindIsInvalidForTheOperation) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  char buffer[4];
  DWORD count = 0;
  const bool failures[] = {
      !ReadFile(event, buffer, sizeof(buffer), &count, nullptr),
      GetFileSize(event, nullptr) == INVALID_FILE_SIZE,
      !SetEvent(GetProcessHeap()),
      WaitForSingleObject(GetProcessHeap(), 0) == WAIT_FAILED,
      !CloseHandle(GetProcessHeap()),  // the process heap lives as long as the process
  };
  for (bool failed : failures) EXPECT_TRUE(failed);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  // Failed calls leave the object as it was.
  EXPECT_EQ(WaitForSingleObject(event, 0), DWORD{WAIT_OBJECT_0});
  CloseHandle(event);
}

TEST(HeapTest, ZeroMemoryBlocksAreZeroEvenWhereDirtyMemoryWasFreed) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  for (SIZE_T size : {SIZE_T{1}, SIZE_T{24}, SIZE_T{520}, SIZE_T{5120}, SIZE_T{200000}}) {
    SCOPED_TRACE(size);
    // A dirtied and freed block of the same size is the likeliest to come back.
    void* dirty = HeapAlloc(heap, 0, size);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xAB, size);
    ASSERT_TRUE(HeapFree(heap, 0, dirty));

    auto* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, size));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(block, block + size, [](unsigned char b) { return b == 0; }));
    ASSERT_TRUE(HeapFree(heap, 0, block));
  }
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
}

}  // namespace
