// The parser's one search: the next position that holds a given unit or U+0000 (where a text
// ends). Eight units at a time with SSE2 where the processor has it (every x86-64 processor; a
// 32-bit one only when it reports it), one at a time otherwise.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// On the vector searches: they read whole blocks, which AddressSanitizer would report (see below).
#if defined(__clang__) || defined(__GNUC__)
#define PELLMORA_WHOLE_BLOCK_READS __attribute__((no_sanitize_address))
#else
#define PELLMORA_WHOLE_BLOCK_READS
#endif

namespace pellmora {

// No end beyond the text's U+0000: the search stops only there or at the unit.
inline constexpr uintptr_t kUnbounded = UINTPTR_MAX;

// The first position at or after `from`, and before the address `end`, that holds `unit` or
// U+0000; `end` (as a pointer) when there is none. With kUnbounded the text must hold a U+0000.
// The vector search reads whole 16-byte blocks that hold units it examines, each within one
// page, so it never touches a page that the text does not reach.
inline const char16_t* FindUnitOrNul(const char16_t* from, uintptr_t end, char16_t unit);
// The same for a text that holds a U+0000 at or after `from`: FindUnitOrNul(from, kUnbounded, unit).
inline const char16_t* FindUnitOrNul(const char16_t* from, char16_t unit);

// Which search FindUnitOrNul uses: the vector one when the processor has SSE2, unless a test has
// asked for the plain one.
bool VectorSearchInUse();
void ForcePlainSearch(bool plain);

namespace unit_search {

const char16_t* FindPlain(const char16_t* from, uintptr_t end, char16_t unit);
// With SSE2; callable only where the processor has it.
const char16_t* FindVector(const char16_t* from, uintptr_t end, char16_t unit);
// Chooses by the processor (and the tests' switch) on each call.
const char16_t* FindChosen(const char16_t* from, uintptr_t end, char16_t unit);

#if defined(__SSE2__)
// Set only by tests: the build has SSE2 throughout, so the vector search is the rule.
extern bool g_plainForced;

// A hit mask of 16 bytes: two bits per unit that is `unit` or U+0000.
inline unsigned HitsAt(const __m128i units, __m128i wanted) {
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, wanted), _mm_cmpeq_epi16(units, _mm_setzero_si128()))));
}

// The units from `from` in one unaligned load when those 16 bytes stay within its page (the usual
// case: no masking), then aligned blocks. The loads may read units after the text's end within
// the same block or page, which AddressSanitizer would report; they never decide the result.
// Unbounded, no comparison with `end` is made at all.
template <bool kBounded>
PELLMORA_WHOLE_BLOCK_READS inline const char16_t* FindVectorInline(const char16_t* from, uintptr_t end, char16_t unit) {
  const auto past = [end](uintptr_t at) { return kBounded && at >= end; };
  const uintptr_t start = reinterpret_cast<uintptr_t>(from);
  if ((start & 1) != 0 || (start & 4095) > 4096 - 16) return FindVector(from, end, unit);
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  unsigned mask = HitsAt(_mm_loadu_si128(reinterpret_cast<const __m128i*>(start)), wanted);
  uintptr_t block = start;
  if (mask == 0) {
    block = (start + 16) & ~uintptr_t{15};
    for (;;) {
      if (past(block)) return reinterpret_cast<const char16_t*>(end);
      mask = HitsAt(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), wanted);
      if (mask != 0) break;
      block += 16;
    }
  }
  const uintptr_t found = block + static_cast<unsigned>(__builtin_ctz(mask));
  return reinterpret_cast<const char16_t*>(past(found) ? end : found);
}
#endif

// Separators often stand a few units apart: those are found here, inline, before any set-up;
// the rest of the search is the processor's. A build with SSE2 throughout goes to its inline
// vector search after two units. A build without it (32-bit) reaches the vector search only
// through a call that asks which search the processor allows, which costs more than reading a
// short pair's units one by one: it reads more of them here first.
#if defined(__SSE2__)
inline constexpr int kInlineUnits = 2;
#else
inline constexpr int kInlineUnits = 16;
#endif

template <bool kBounded>
inline const char16_t* Find(const char16_t* from, uintptr_t end, char16_t unit) {
  for (int n = 0; n < kInlineUnits; ++n, ++from) {
    if (kBounded && reinterpret_cast<uintptr_t>(from) >= end) return reinterpret_cast<const char16_t*>(end);
    if (*from == unit || *from == u'\0') return from;
  }
  if (kBounded && reinterpret_cast<uintptr_t>(from) >= end) return reinterpret_cast<const char16_t*>(end);
#if defined(__SSE2__)
  if (!g_plainForced) return FindVectorInline<kBounded>(from, end, unit);
  return FindPlain(from, end, unit);
#else
  return FindChosen(from, end, unit);
#endif
}

}  // namespace unit_search

inline const char16_t* FindUnitOrNul(const char16_t* from, uintptr_t end, char16_t unit) {
  return unit_search::Find<true>(from, end, unit);
}

inline const char16_t* FindUnitOrNul(const char16_t* from, char16_t unit) {
  return unit_search::Find<false>(from, kUnbounded, unit);
}

}  // namespace pellmora
