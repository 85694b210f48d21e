// The library's own file path as self-registration uses it: read from the loader, escaped for a
// registration script, and cut down to its directory.
#pragma once

#include <cstddef>

#include "support/platform.h"

namespace pellmora {

class ScratchBuffer;

// Size of the narrow buffer the module file name is read into, terminator included.
constexpr DWORD kModulePathCapacity = 260;
// Size of the escaped path buffer: a 259-unit path made only of quotes still fits.
constexpr std::size_t kEscapedPathCapacity = 2 * kModulePathCapacity;

// Reads the file name of `module` into `path`. S_OK; the failure of the loader's call as an
// HRESULT, or E_FAIL when it failed without saying why; 0x8007007A when the name does not fit.
HRESULT ReadModuleFileName(HMODULE module, char (&path)[kModulePathCapacity]) noexcept;

// The outcome of a GetModuleFileNameA call into a kModulePathCapacity buffer that returned
// `length`, with `lastError` the thread's last error after it.
HRESULT ModuleFileNameResult(DWORD length, DWORD lastError) noexcept;

// `path` (narrow, in `codePage`) as UTF-16 in memory of `scratch`, which it lives as long as; null
// when there is no memory or the text does not convert.
char16_t* WidePath(ScratchBuffer& scratch, const char* path, UINT codePage) noexcept;

// Copies the NUL-terminated `source` into `destination` (capacity in UTF-16 units, terminator
// included), writing every single quote twice so that the text survives inside a quoted script
// token. False, with `destination` holding an empty text, when the result does not fit.
bool EscapeScriptQuotes(char16_t* destination, std::size_t capacity, const char16_t* source) noexcept;

// The number of UTF-16 units of `path` up to and including its last "\", "/" or ":"; 0 for a
// null path and for one without a separator.
std::size_t DirectoryLength(const char16_t* path) noexcept;

}  // namespace pellmora
