// Scratch memory for one operation that converts text. Small requests are served from storage
// inside the object, which lives on the operation's stack, while the thread's stack keeps a safety
// margin; larger or stack-starved requests go to the heap as a chain of blocks that is freed in one
// pass when the operation ends, on every path out of it.
#pragma once

#include <cstddef>

namespace pellmora {

// True when the calling thread's stack has at least `bytes` bytes left below the current frame.
bool StackHasRoom(std::size_t bytes) noexcept;

class ScratchBuffer {
 public:
  static constexpr std::size_t kStackLimit = 1024;   // largest request served on the stack
  static constexpr std::size_t kStackMargin = 8192;  // stack that must remain beyond it

  ScratchBuffer() noexcept = default;
  ~ScratchBuffer();
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;

  // A buffer of `bytes` bytes that lives until this object is destroyed, or null when no memory.
  void* Request(std::size_t bytes) noexcept;

  template <typename T>
  T* RequestArray(std::size_t count) noexcept {
    return static_cast<T*>(Request(count * sizeof(T)));
  }

  // How many requests went to the heap so far (for tests).
  std::size_t HeapBlocks() const noexcept { return heapBlocks_; }

 private:
  // Every heap block starts with this 8-byte header linking to the block allocated before it.
  struct alignas(8) BlockHeader {
    BlockHeader* previous;
  };
  static_assert(sizeof(BlockHeader) == 8, "the block header is 8 bytes on every build");

  alignas(8) unsigned char stackStorage_[kStackLimit];
  std::size_t stackUsed_ = 0;
  BlockHeader* heapHead_ = nullptr;
  std::size_t heapBlocks_ = 0;
};

}  // namespace pellmora
