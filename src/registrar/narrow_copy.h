// UTF-16 text converted to the ANSI code page into an operation's scratch memory.
#pragma once

#include "support/platform.h"
#include "support/scratch_buffer.h"

namespace pellmora {

// Puts `text` in the conversion code page inside `scratch` into `*narrow`. On failure `*narrow` is
// null and the result says what failed: E_OUTOFMEMORY when `text` is null or too long or no scratch
// memory is left; with `exact`, 0x80070459 (ERROR_NO_UNICODE_TRANSLATION) when a character has no
// form in the code page, where a conversion without `exact` puts the code page's default character.
HRESULT NarrowCopy(const char16_t* text, ScratchBuffer& scratch, bool exact, char** narrow) noexcept;

}  // namespace pellmora
