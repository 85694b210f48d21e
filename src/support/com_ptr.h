// Owner of one counted interface reference: releases it when it goes out of scope or is replaced.
#pragma once

#include <utility>

#include "support/platform.h"

namespace pellmora {

template <class Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Adds a reference of its own.
  explicit ComPtr(Interface* pointer) noexcept : pointer_(pointer) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { reset(); }

  Interface* get() const noexcept { return pointer_; }
  Interface* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  // For out-parameters: releases what was held and hands out the address of the empty slot.
  Interface** put() noexcept {
    reset();
    return &pointer_;
  }
  // The same slot typed for QueryInterface-style out-parameters.
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // Gives up ownership without releasing.
  Interface* detach() noexcept { return std::exchange(pointer_, nullptr); }

  void reset() noexcept {
    if (Interface* old = std::exchange(pointer_, nullptr)) old->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace pellmora
