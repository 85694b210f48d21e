// Only the functions marked for SSE2 use its instructions; this file is compiled with the
// build's flags, so on a 32-bit processor without SSE2 nothing here runs an instruction it lacks.
#include "model/unit_search.h"

#include <atomic>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#define PELLMORA_HAVE_SSE2_PATH 1
#endif

#if defined(__clang__) || defined(__GNUC__)
#define PELLMORA_NO_ADDRESS_CHECK __attribute__((no_sanitize_address))
#else
#define PELLMORA_NO_ADDRESS_CHECK
#endif

namespace pellmora {

namespace {

const char16_t* FindPlain(const char16_t* from, uintptr_t end, char16_t unit) {
  while (reinterpret_cast<uintptr_t>(from) < end && *from != unit && *from != u'\0') ++from;
  return reinterpret_cast<uintptr_t>(from) < end ? from : reinterpret_cast<const char16_t*>(end);
}

#if PELLMORA_HAVE_SSE2_PATH

// Aligned 16-byte blocks from the one that holds `from`: the units before `from` in the first
// block are masked off, and a hit at or after `end` means there is none. The loads may read units
// before `from` and after the text's end within the same block, which AddressSanitizer would
// report although they stay inside the block; they never decide the result.
__attribute__((target("sse2"))) PELLMORA_NO_ADDRESS_CHECK const char16_t* FindVector(const char16_t* from,
                                                                                     uintptr_t end,
                                                                                     char16_t unit) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(from);
  if (start >= end) return reinterpret_cast<const char16_t*>(end);
  if ((start & 1) != 0) return FindPlain(from, end, unit);  // units that straddle the lanes
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  const __m128i zero = _mm_setzero_si128();
  uintptr_t block = start & ~uintptr_t{15};
  const auto hits = [&](uintptr_t at) {
    const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, wanted), _mm_cmpeq_epi16(units, zero))));
  };
  unsigned mask = hits(block) & (~0u << (start - block));
  while (mask == 0) {
    block += 16;
    if (block >= end) return reinterpret_cast<const char16_t*>(end);
    mask = hits(block);
  }
  const uintptr_t found = block + static_cast<unsigned>(__builtin_ctz(mask));
  return reinterpret_cast<const char16_t*>(found < end ? found : end);
}

bool ProcessorHasSse2() {
#if defined(__x86_64__)
  return true;
#else
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & bit_SSE2) != 0;
#endif
}

#endif

// 0: not yet decided; 1: plain; 2: vector. Decided at the first search (cpuid is cheap, and a
// race only decides the same thing twice) rather than by a guarded static initialiser.
std::atomic<int> g_search{0};

int DecideSearch() {
#if PELLMORA_HAVE_SSE2_PATH
  const int chosen = ProcessorHasSse2() ? 2 : 1;
#else
  const int chosen = 1;
#endif
  g_search.store(chosen, std::memory_order_relaxed);
  return chosen;
}

}  // namespace

const char16_t* FindUnitOrNul(const char16_t* from, uintptr_t end, char16_t unit) {
  int search = g_search.load(std::memory_order_relaxed);
  if (search == 0) search = DecideSearch();
#if PELLMORA_HAVE_SSE2_PATH
  if (search == 2) return FindVector(from, end, unit);
#endif
  return FindPlain(from, end, unit);
}

bool VectorSearchInUse() {
  int search = g_search.load(std::memory_order_relaxed);
  if (search == 0) search = DecideSearch();
  return search == 2;
}

void ForcePlainSearch(bool plain) {
  if (plain) {
    g_search.store(1, std::memory_order_relaxed);
  } else {
    DecideSearch();
  }
}

}  // namespace pellmora
