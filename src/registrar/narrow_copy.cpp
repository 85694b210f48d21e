#include "registrar/narrow_copy.h"

#include <cstdint>
#include <string>

#include "support/text_conversion.h"

namespace pellmora {

char* NarrowCopy(const char16_t* text, ScratchBuffer& scratch, bool exact) noexcept {
  if (text == nullptr) return nullptr;
  const std::size_t units = std::char_traits<char16_t>::length(text);
  if (units > static_cast<std::size_t>(INT32_MAX / 3 - 1)) return nullptr;
  // Room for three bytes per UTF-16 unit: a double-byte code page needs two, but a system whose
  // ANSI code page is UTF-8 needs three for most characters outside Latin scripts.
  const int capacity = static_cast<int>(3 * (units + 1));
  char* narrow = scratch.RequestArray<char>(static_cast<std::size_t>(capacity));
  return exact ? NarrowFromWideExact(narrow, text, capacity, ConversionCodePage())
               : NarrowFromWide(narrow, text, capacity, ConversionCodePage());
}

}  // namespace pellmora
