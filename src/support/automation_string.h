// Owner of one automation string (BSTR): frees it when it goes out of scope or is replaced.
#pragma once

#include <string_view>
#include <utility>

#include "support/platform.h"

namespace pellmora {

class AutomationString {
 public:
  AutomationString() noexcept = default;
  // Adopts `text`, which this holder frees from now on.
  explicit AutomationString(BSTR text) noexcept : text_(text) {}
  AutomationString(AutomationString&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  AutomationString& operator=(AutomationString&& other) noexcept {
    if (this != &other) {
      reset();
      text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
  }
  AutomationString(const AutomationString&) = delete;
  AutomationString& operator=(const AutomationString&) = delete;
  ~AutomationString() { reset(); }

  BSTR get() const noexcept { return text_; }
  // Length in UTF-16 units from the string's own prefix; 0 for the null string.
  UINT Length() const noexcept { return SysStringLen(text_); }
  std::wstring_view View() const noexcept { return {text_ ? text_ : L"", Length()}; }

  // For out-parameters: frees what was held and hands out the address of the empty slot.
  BSTR* put() noexcept {
    reset();
    return &text_;
  }
  // Gives up ownership, e.g. to hand the string to a caller.
  BSTR detach() noexcept { return std::exchange(text_, nullptr); }

  void reset() noexcept {
    if (BSTR old = std::exchange(text_, nullptr)) SysFreeString(old);
  }

 private:
  BSTR text_ = nullptr;
};

}  // namespace pellmora
