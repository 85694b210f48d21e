// The searches over a text that touches an inaccessible page: one that ends exactly where readable
// memory ends, and one that starts exactly where it begins. A search that reads a block past the
// end or before the start, or that trusts a page guard one unit too far, faults here; one that
// returns a hit before the start, past the end or past a U+0000 gives the wrong position. Every
// readable unit around the text is U+0000, a hit at any alignment, so no stray read goes unseen;
// only right after a counted text stands one unit that is no hit, so that a hit past the end
// differs from the end itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "model/unit_search.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace pellmora {
namespace {

// One readable page between two that cannot be read.
class GuardedPage {
 public:
  GuardedPage() {
#if defined(_WIN32)
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_ = system.dwPageSize;
    auto* base = static_cast<char*>(VirtualAlloc(nullptr, 3 * size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base != nullptr && VirtualProtect(base, size_, PAGE_NOACCESS, &old) &&
        VirtualProtect(base + 2 * size_, size_, PAGE_NOACCESS, &old)) {
      page_ = base + size_;
    }
    base_ = base;
#else
    size_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* base = mmap(nullptr, 3 * size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return;
    base_ = static_cast<char*>(base);
    if (mprotect(base_ + size_, size_, PROT_READ | PROT_WRITE) == 0) page_ = base_ + size_;
#endif
  }
  ~GuardedPage() {
    if (base_ == nullptr) return;
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, 3 * size_);
#endif
  }
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;

  char* begin() const { return page_; }
  char* end() const { return page_ + size_; }

 private:
  char* base_ = nullptr;
  char* page_ = nullptr;
  size_t size_ = 0;
};

constexpr char16_t kSought = u';';
constexpr size_t kLongest = 64;

// The answer by definition: the first unit in [from, end) that is `unit` or U+0000, else `end`.
// Reads through memcpy, so an odd start is no special case here.
uintptr_t Expected(const char* from, uintptr_t end, char16_t unit) {
  for (const char* at = from; reinterpret_cast<uintptr_t>(at) < end; at += 2) {
    char16_t u;
    std::memcpy(&u, at, 2);
    if (u == unit || u == u'\0') return reinterpret_cast<uintptr_t>(at);
  }
  return end;
}

struct Search {
  const char* name;
  const char16_t* (*find)(const char16_t* from, uintptr_t end, char16_t unit);
  bool plain;   // the plain search chosen for FindUnitOrNul
  bool vector;  // needs the processor's SSE2
};

const Search kSearches[] = {
    {"FindUnitOrNul, vector", [](const char16_t* f, uintptr_t e, char16_t u) { return FindUnitOrNul(f, e, u); }, false,
     false},
    {"FindUnitOrNul, plain", [](const char16_t* f, uintptr_t e, char16_t u) { return FindUnitOrNul(f, e, u); }, true,
     false},
    {"FindUnitOrNul without an end, vector",
     [](const char16_t* f, uintptr_t e, char16_t u) { return e == kUnbounded ? FindUnitOrNul(f, u) : nullptr; }, false,
     false},
    {"the out-of-line vector search", unit_search::FindVector, false, true},
    {"the out-of-line plain search", unit_search::FindPlain, true, false},
};

// Every length up to kLongest, both parities of the start, the text counted (its end given) or
// terminated (its last unit U+0000, no end), the sought unit at every position or nowhere, the
// text against the page's end or its start.
TEST(UnitSearchAtPageEdge, NoReadOutsideTheTextAndNoHitOutsideIt) {
  GuardedPage page;
  ASSERT_NE(page.begin(), nullptr) << "no guarded page";
  ForcePlainSearch(false);
  const bool haveVector = VectorSearchInUse();
  size_t cases = 0;
  for (const Search& search : kSearches) {
    if (search.vector && !haveVector) continue;
    for (const bool atEnd : {true, false}) {
      for (const bool oddStart : {false, true}) {
#if defined(PELLMORA_ALIGNMENT_CHECKED)
        if (oddStart) continue;  // the sanitizer reports every read of a unit at an odd address
#endif
        for (const bool terminated : {false, true}) {
          for (size_t length = terminated ? 1 : 0; length <= kLongest; ++length) {
            const size_t bytes = 2 * length;
            char* text = atEnd ? page.end() - bytes - (oddStart ? 1 : 0) : page.begin() + (oddStart ? 1 : 0);
            const uintptr_t end = terminated ? kUnbounded : reinterpret_cast<uintptr_t>(text + bytes);
            for (size_t hit = 0; hit <= length; ++hit) {
              for (size_t n = 0; n < length; ++n) {
                const char16_t u = terminated && n + 1 == length ? u'\0' : n == hit ? kSought : u'a' + n % 26;
                std::memcpy(text + 2 * n, &u, 2);
              }
              const bool filler = !terminated && text + bytes + 2 <= page.end();
              if (filler) std::memcpy(text + bytes, u"z", 2);
              const uintptr_t expected = Expected(text, end, kSought);
              ForcePlainSearch(search.plain);
              const char16_t* found = search.find(reinterpret_cast<const char16_t*>(text), end, kSought);
              ForcePlainSearch(false);
              std::memset(text, 0, bytes + (filler ? 2 : 0));  // the page all U+0000 again
              if (found == nullptr) continue;                  // the search takes no end
              ASSERT_EQ(reinterpret_cast<uintptr_t>(found) - reinterpret_cast<uintptr_t>(text),
                        expected - reinterpret_cast<uintptr_t>(text))
                  << search.name << ", " << (atEnd ? "ending at" : "starting at") << " the page's edge, "
                  << (oddStart ? "odd" : "even") << " start, " << (terminated ? "terminated" : "counted") << ", length "
                  << length << ", sought unit at " << hit;
              ++cases;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(cases, 4000u);
}

}  // namespace
}  // namespace pellmora
