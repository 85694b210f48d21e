#include "support/scratch_buffer.h"

#include "support/platform.h"

namespace pellmora {

namespace {
constexpr std::size_t RoundUp4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }
}  // namespace

ScratchBuffer::~ScratchBuffer() {
  while (heapHead_ != nullptr) {
    BlockHeader* previous = heapHead_->previous;
    HeapFree(GetProcessHeap(), 0, heapHead_);
    heapHead_ = previous;
  }
}

void* ScratchBuffer::Request(std::size_t bytes) noexcept {
  const std::size_t rounded = RoundUp4(bytes);
  if (bytes <= kStackLimit && rounded <= kStackLimit - stackUsed_ && StackHasRoom(RoundUp4(bytes + kStackMargin))) {
    void* buffer = stackStorage_ + stackUsed_;
    stackUsed_ += rounded;
    return buffer;
  }
  if (bytes > static_cast<std::size_t>(-1) - sizeof(BlockHeader)) return nullptr;
  auto* block = static_cast<BlockHeader*>(HeapAlloc(GetProcessHeap(), 0, bytes + sizeof(BlockHeader)));
  if (block == nullptr) return nullptr;
  block->previous = heapHead_;
  heapHead_ = block;
  ++heapBlocks_;
  return block + 1;
}

}  // namespace pellmora
