#include "registrar/narrow_copy.h"

#include <cstdint>
#include <string>

#include "support/result_codes.h"
#include "support/text_conversion.h"

namespace pellmora {

HRESULT NarrowCopy(const char16_t* text, ScratchBuffer& scratch, bool exact, char** narrow) noexcept {
  *narrow = nullptr;
  if (text == nullptr) return E_OUTOFMEMORY;
  const std::size_t units = std::char_traits<char16_t>::length(text);
  if (units > static_cast<std::size_t>(INT32_MAX / 3 - 1)) return E_OUTOFMEMORY;
  // Room for three bytes per UTF-16 unit: a double-byte code page needs two, but a system whose
  // ANSI code page is UTF-8 needs three for most characters outside Latin scripts.
  const int capacity = static_cast<int>(3 * (units + 1));
  char* buffer = scratch.RequestArray<char>(static_cast<std::size_t>(capacity));
  if (buffer == nullptr) return E_OUTOFMEMORY;
  // The conversion itself sets the last error when it fails, so it can be read here.
  *narrow = exact ? NarrowFromWideExact(buffer, text, capacity, ConversionCodePage())
                  : NarrowFromWide(buffer, text, capacity, ConversionCodePage());
  if (*narrow != nullptr) return S_OK;
  return exact && GetLastError() == ERROR_NO_UNICODE_TRANSLATION ? ResultFromWin32(ERROR_NO_UNICODE_TRANSLATION)
                                                                 : E_OUTOFMEMORY;
}

}  // namespace pellmora
