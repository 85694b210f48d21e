// The growing task-memory text that the replacement pass writes the expanded script into, and the
// holder that frees such a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/platform.h"

namespace pellmora {

struct TaskMemoryFree {
  void operator()(void* block) const noexcept { CoTaskMemFree(block); }
};
// A NUL-terminated text in task memory, freed with CoTaskMemFree.
using TaskText = std::unique_ptr<char, TaskMemoryFree>;

class ExpansionBuffer {
 public:
  ExpansionBuffer() noexcept = default;
  ~ExpansionBuffer() { CoTaskMemFree(data_); }
  ExpansionBuffer(const ExpansionBuffer&) = delete;
  ExpansionBuffer& operator=(const ExpansionBuffer&) = delete;

  // Allocates room for the expansion of a text of `sourceBytes` bytes: twice that, but 1000 when
  // that is below 100. S_OK or E_OUTOFMEMORY.
  HRESULT Allocate(std::size_t sourceBytes) noexcept;
  // Appends `count` bytes and keeps the text NUL-terminated, doubling the capacity as needed.
  // S_OK or E_OUTOFMEMORY.
  HRESULT Append(const char* bytes, std::size_t count) noexcept;
  // Hands the text over to the caller.
  TaskText Release() noexcept;

  int32_t Length() const noexcept { return length_; }
  int32_t Capacity() const noexcept { return capacity_; }

 private:
  int32_t length_ = 0;
  int32_t capacity_ = 0;
  char* data_ = nullptr;
};

}  // namespace pellmora
