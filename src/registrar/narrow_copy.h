// UTF-16 text converted to the ANSI code page into an operation's scratch memory.
#pragma once

#include "support/scratch_buffer.h"

namespace pellmora {

// `text` in the conversion code page inside `scratch`, or null when `text` is null, no scratch
// memory is left, or the conversion fails. With `exact`, a character the code page cannot hold
// fails the conversion (last error ERROR_NO_UNICODE_TRANSLATION) instead of being replaced.
char* NarrowCopy(const char16_t* text, ScratchBuffer& scratch, bool exact) noexcept;

}  // namespace pellmora
