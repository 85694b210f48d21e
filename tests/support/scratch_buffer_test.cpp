#include <gtest/gtest.h>

#include <cstring>

#include "../registrar/stack_left.h"
#include "support/scratch_buffer.h"

namespace pellmora {
namespace {

TEST(ScratchBuffer, ServesSmallRequestsFromTheStackAndLargeOnesFromTheHeap) {
  struct Case {
    std::size_t bytes;
    std::size_t heapBlocksAfter;
  };
  const Case cases[] = {{1024, 0}, {1025, 1}, {1, 0}, {4096, 1}};
  for (const Case& each : cases) {
    ScratchBuffer scratch;
    void* buffer = scratch.Request(each.bytes);
    ASSERT_NE(buffer, nullptr) << each.bytes;
    std::memset(buffer, 0xAB, each.bytes);  // the whole size is usable (ASan checks the heap side)
    EXPECT_EQ(scratch.HeapBlocks(), each.heapBlocksAfter) << each.bytes;
  }
}

TEST(ScratchBuffer, KeepsEveryBufferOfOneOperationApart) {
  ScratchBuffer scratch;
  auto* first = static_cast<char*>(scratch.Request(600));
  auto* second = static_cast<char*>(scratch.Request(600));  // no longer fits beside the first
  auto* third = static_cast<char*>(scratch.Request(5000));
  ASSERT_TRUE(first && second && third);
  std::memset(first, 1, 600);
  std::memset(second, 2, 600);
  std::memset(third, 3, 5000);
  EXPECT_EQ(first[599], 1);
  EXPECT_EQ(second[0], 2);
  EXPECT_EQ(scratch.HeapBlocks(), 2u);
}

TEST(ScratchBuffer, ServesFromTheHeapWhenTheStackRunsShort) {
  std::size_t heapBlocks = 0;
  ASSERT_TRUE(testing::RunWithStackLeft(16 * 1024, [&] {
    ScratchBuffer scratch;
    scratch.Request(1);
    heapBlocks = scratch.HeapBlocks();
  }));
  EXPECT_EQ(heapBlocks, 1u);
}

TEST(StackHasRoom, AnswersForTheCurrentThread) {
  EXPECT_TRUE(StackHasRoom(1024 + 8192));
  EXPECT_FALSE(StackHasRoom(static_cast<std::size_t>(-1) / 2));
}

}  // namespace
}  // namespace pellmora
