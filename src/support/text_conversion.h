// Conversion between narrow text in an ANSI code page and UTF-16 text, with the process-wide
// choice of code page.
#pragma once

#include <string>

#include "support/platform.h"

namespace pellmora {

// The code page for the calling thread's conversions. The first call probes the system once and
// fixes one of the two selectors below for the life of the process.
UINT ConversionCodePage() noexcept;

// Always CP_THREAD_ACP (3): the conversion routines resolve the thread's code page themselves.
UINT ThreadCodePageSelector() noexcept;
// The default ANSI code page of the thread's locale, or the system's ANSI code page when the
// locale does not name one.
UINT LocaleCodePageSelector() noexcept;
// Puts the probe back so that the next ConversionCodePage() probes again (tests only).
void ResetConversionCodePage() noexcept;

// Converts the NUL-terminated `source` into `destination` (capacity in UTF-16 units, terminator
// included). Returns `destination`, or null when either pointer is null or the conversion fails,
// output that does not fit included.
char16_t* WideFromNarrow(char16_t* destination, const char* source, int capacity, UINT codePage) noexcept;

// Converts the NUL-terminated `source` into `destination` (capacity in bytes, terminator included).
// Returns `destination`, or null as above. Characters the code page cannot hold are replaced by the
// code page's default character.
char* NarrowFromWide(char* destination, const char16_t* source, int capacity, UINT codePage) noexcept;

// As NarrowFromWide, but fails (null, last error ERROR_NO_UNICODE_TRANSLATION) when any character
// cannot be represented in the code page, so that no altered text is ever produced.
char* NarrowFromWideExact(char* destination, const char16_t* source, int capacity, UINT codePage) noexcept;

}  // namespace pellmora
