#include "module/module_path.h"

#include <cstring>

#include "support/result_codes.h"
#include "support/scratch_buffer.h"
#include "support/text_conversion.h"

namespace pellmora {

HRESULT ModuleFileNameResult(DWORD length, DWORD lastError) noexcept {
  if (length == 0) {
    // A failure that leaves no error code must still fail: reporting success here would skip
    // the registration script while telling the caller it ran.
    return lastError == ERROR_SUCCESS ? E_FAIL : ResultFromWin32(lastError);
  }
  if (length >= kModulePathCapacity) return ResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
  return S_OK;
}

HRESULT ReadModuleFileName(HMODULE module, char (&path)[kModulePathCapacity]) noexcept {
  path[0] = '\0';
  const DWORD length = GetModuleFileNameA(module, path, kModulePathCapacity);
  const HRESULT result = ModuleFileNameResult(length, length == 0 ? GetLastError() : ERROR_SUCCESS);
  if (FAILED(result)) path[0] = '\0';
  return result;
}

char16_t* WidePath(ScratchBuffer& scratch, const char* path, UINT codePage) noexcept {
  const std::size_t units = std::strlen(path) + 1;
  return WideFromNarrow(scratch.RequestArray<char16_t>(units), path, static_cast<int>(units), codePage);
}

bool EscapeScriptQuotes(char16_t* destination, std::size_t capacity, const char16_t* source) noexcept {
  if (capacity == 0) return false;
  std::size_t written = 0;
  for (const char16_t* unit = source ? source : u""; *unit != u'\0'; ++unit) {
    const std::size_t needed = *unit == u'\'' ? 2 : 1;
    if (written + needed >= capacity) {
      destination[0] = u'\0';
      return false;
    }
    destination[written++] = *unit;
    if (needed == 2) destination[written++] = u'\'';
  }
  destination[written] = u'\0';
  return true;
}

std::size_t DirectoryLength(const char16_t* path) noexcept {
  if (path == nullptr) return 0;
  std::size_t length = 0;
  for (std::size_t i = 0; path[i] != u'\0'; ++i) {
    if (path[i] == u'\\' || path[i] == u'/' || path[i] == u':') length = i + 1;
  }
  return length;
}

}  // namespace pellmora
