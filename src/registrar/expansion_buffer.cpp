#include "registrar/expansion_buffer.h"

#include <cstring>

#ifdef _WIN32
#include <objbase.h>
#endif

namespace pellmora {

namespace {
constexpr int64_t kLargestCapacity = INT32_MAX;
}  // namespace

HRESULT ExpansionBuffer::Allocate(std::size_t sourceBytes) noexcept {
  int64_t capacity = sourceBytes > static_cast<std::size_t>(kLargestCapacity) ? kLargestCapacity + 1
                                                                              : 2 * static_cast<int64_t>(sourceBytes);
  if (capacity < 100) capacity = 1000;
  if (capacity > kLargestCapacity) return E_OUTOFMEMORY;
  data_ = static_cast<char*>(CoTaskMemAlloc(static_cast<SIZE_T>(capacity)));
  if (data_ == nullptr) return E_OUTOFMEMORY;
  data_[0] = '\0';
  length_ = 0;
  capacity_ = static_cast<int32_t>(capacity);
  return S_OK;
}

HRESULT ExpansionBuffer::Append(const char* bytes, std::size_t count) noexcept {
  if (data_ == nullptr) return E_OUTOFMEMORY;
  const int64_t needed = static_cast<int64_t>(length_) + static_cast<int64_t>(count) + 1;
  if (count > static_cast<std::size_t>(kLargestCapacity) || needed > kLargestCapacity) return E_OUTOFMEMORY;
  int64_t capacity = capacity_;
  while (needed >= capacity) capacity *= 2;
  if (capacity != capacity_) {
    if (capacity > kLargestCapacity) capacity = kLargestCapacity;
    void* grown = CoTaskMemRealloc(data_, static_cast<SIZE_T>(capacity));
    if (grown == nullptr) return E_OUTOFMEMORY;
    data_ = static_cast<char*>(grown);
    capacity_ = static_cast<int32_t>(capacity);
  }
  std::memcpy(data_ + length_, bytes, count);
  length_ += static_cast<int32_t>(count);
  data_[length_] = '\0';
  return S_OK;
}

TaskText ExpansionBuffer::Release() noexcept {
  char* data = data_;
  data_ = nullptr;
  length_ = 0;
  capacity_ = 0;
  return TaskText(data);
}

}  // namespace pellmora
