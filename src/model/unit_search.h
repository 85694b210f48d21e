// The parser's one search: the next position that holds a given unit or U+0000 (where a text
// ends). Eight units at a time with SSE2 where the processor has it (every x86-64 processor; a
// 32-bit one only when it reports it), one at a time otherwise.
#pragma once

#include <cstdint>

namespace pellmora {

// No end beyond the text's U+0000: the search stops only there or at the unit.
inline constexpr uintptr_t kUnbounded = UINTPTR_MAX;

// The first position at or after `from`, and before the address `end`, that holds `unit` or
// U+0000; `end` (as a pointer) when there is none. With kUnbounded the text must hold a U+0000.
// The vector search reads the aligned 16-byte blocks that hold the units it examines, never
// beyond them: a block lies within one page, so it reads no memory that the text's last unit
// does not share a page with.
const char16_t* FindUnitOrNul(const char16_t* from, uintptr_t end, char16_t unit);

// Which search FindUnitOrNul uses: the vector one when the processor has SSE2, unless a test has
// asked for the plain one.
bool VectorSearchInUse();
void ForcePlainSearch(bool plain);

}  // namespace pellmora
