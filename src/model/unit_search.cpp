// The searches behind FindUnitOrNul. Only the function marked for SSE2 uses its instructions, and
// a 32-bit build calls it only once cpuid has reported SSE2, so the DLL still runs on a 32-bit
// processor without it.
#include "model/unit_search.h"

#include <atomic>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#define PELLMORA_HAVE_SSE2_PATH 1
#endif

namespace pellmora {
namespace unit_search {

#if defined(__SSE2__)
bool g_plainForced = false;
#endif

const char16_t* FindPlain(const char16_t* from, uintptr_t end, char16_t unit) {
  while (reinterpret_cast<uintptr_t>(from) < end && *from != unit && *from != u'\0') ++from;
  return reinterpret_cast<uintptr_t>(from) < end ? from : reinterpret_cast<const char16_t*>(end);
}

#if PELLMORA_HAVE_SSE2_PATH

// Aligned 16-byte blocks from the one that holds `from`: the units before `from` in the first
// block are masked off, and a hit at or after `end` means there is none. The loads may read units
// before `from` and after the text's end within the same block, which AddressSanitizer would
// report although they stay inside the block; they never decide the result.
__attribute__((target("sse2"))) PELLMORA_WHOLE_BLOCK_READS const char16_t* FindVector(const char16_t* from,
                                                                                      uintptr_t end, char16_t unit) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(from);
  if (start >= end) return reinterpret_cast<const char16_t*>(end);
  if ((start & 1) != 0) return FindPlain(from, end, unit);  // units that straddle the lanes
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  const __m128i zero = _mm_setzero_si128();
  uintptr_t block = start & ~uintptr_t{15};
  unsigned mask = 0;
  for (unsigned skip = static_cast<unsigned>(start - block);; skip = 0) {
    const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, wanted), _mm_cmpeq_epi16(units, zero))));
    mask &= ~0u << skip;
    if (mask != 0) break;
    block += 16;
    if (block >= end) return reinterpret_cast<const char16_t*>(end);
  }
  const uintptr_t found = block + static_cast<unsigned>(__builtin_ctz(mask));
  return reinterpret_cast<const char16_t*>(found < end ? found : end);
}

#else

const char16_t* FindVector(const char16_t* from, uintptr_t end, char16_t unit) { return FindPlain(from, end, unit); }

#endif

namespace {

bool ProcessorHasSse2() {
#if defined(__x86_64__) || defined(__SSE2__)
  return true;
#elif PELLMORA_HAVE_SSE2_PATH
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & bit_SSE2) != 0;
#else
  return false;
#endif
}

// 0: not yet decided; 1: plain; 2: vector. Decided at the first search (cpuid is cheap, and a
// race only decides the same thing twice) rather than by a guarded static initialiser.
std::atomic<int> g_search{0};

int DecideSearch() {
  const int chosen = ProcessorHasSse2() ? 2 : 1;
  g_search.store(chosen, std::memory_order_relaxed);
  return chosen;
}

int Search() {
  const int search = g_search.load(std::memory_order_relaxed);
  return search != 0 ? search : DecideSearch();
}

}  // namespace

const char16_t* FindChosen(const char16_t* from, uintptr_t end, char16_t unit) {
  return Search() == 2 ? FindVector(from, end, unit) : FindPlain(from, end, unit);
}

}  // namespace unit_search

bool VectorSearchInUse() {
#if defined(__SSE2__)
  return !unit_search::g_plainForced;
#else
  return unit_search::Search() == 2;
#endif
}

void ForcePlainSearch(bool plain) {
#if defined(__SSE2__)
  unit_search::g_plainForced = plain;
#else
  if (plain) {
    unit_search::g_search.store(1, std::memory_order_relaxed);
  } else {
    unit_search::DecideSearch();
  }
#endif
}

}  // namespace pellmora
