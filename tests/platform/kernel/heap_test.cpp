// The process heap hands out zero-filled blocks when asked, as the client always asks.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

TEST(HeapTest, ZeroMemoryBlocksAreZeroEvenWhereDirtyMemoryWasFreed) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(GetProcessHeap(), heap);
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

TEST(HeapTest, OnlyTheProcessHeapAllocates) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(HeapAlloc(event, HEAP_ZERO_MEMORY, 16), nullptr);
  EXPECT_EQ(HeapAlloc(nullptr, HEAP_ZERO_MEMORY, 16), nullptr);
  EXPECT_FALSE(HeapFree(event, 0, nullptr));
  CloseHandle(event);
}

}  // namespace
