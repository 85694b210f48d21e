// Result codes from system errors, and the exception that carries a result code out of code that
// cannot return one (constructors, buffers that must grow). Every caller of such code catches it.
#pragma once

#include <cstdint>

#include "support/platform.h"

namespace pellmora {

// A system error code as an HRESULT: 0 and negative values pass unchanged, a positive code keeps
// its low 16 bits under the Win32 facility (0x8007xxxx).
constexpr HRESULT ResultFromWin32(uint32_t code) {
  return static_cast<int32_t>(code) <= 0 ? static_cast<HRESULT>(code)
                                         : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}

// ResultFromWin32 of the calling thread's last error.
HRESULT ResultFromLastError();

class ResultException {
 public:
  explicit ResultException(HRESULT result) noexcept : result_(result) {}
  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

// Does not return: throws a ResultException carrying `result`.
[[noreturn]] void ThrowResult(HRESULT result);

}  // namespace pellmora
