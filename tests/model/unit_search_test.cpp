// The vector search against the plain one, at every alignment of the text, every position of the
// hit (the unit sought, U+0000 or neither) and every end close by.
#include <gtest/gtest.h>

#include <cstdint>

#include "model/unit_search.h"

namespace pellmora {
namespace {

// What FindUnitOrNul gives with the plain search, and with the vector one where the processor has it.
struct BothSearches {
  const char16_t* plain;
  const char16_t* vector;
};
BothSearches Search(const char16_t* from, uintptr_t end, char16_t unit) {
  ForcePlainSearch(true);
  const char16_t* plain = FindUnitOrNul(from, end, unit);
  ForcePlainSearch(false);
  return {plain, FindUnitOrNul(from, end, unit)};
}

TEST(UnitSearch, VectorAndPlainFindTheSamePosition) {
  ForcePlainSearch(false);
  if (!VectorSearchInUse()) GTEST_SKIP() << "this processor has no SSE2: only the plain search runs";
  alignas(16) char16_t text[80];
  const char16_t kSought = u';';
  size_t cases = 0;
  for (size_t start = 0; start < 16; ++start) {
    for (size_t hit = start; hit < start + 40; ++hit) {
      for (const char16_t hitUnit : {kSought, u'\0', u'x'}) {
        for (size_t length = 0; length <= 40; ++length) {
          // Units that look like neither everywhere else, the sought one also before `start`.
          for (size_t n = 0; n < 80; ++n) text[n] = n < start ? kSought : static_cast<char16_t>(u'a' + n % 26);
          text[hit] = hitUnit;
          text[79] = u'\0';
          const uintptr_t end = reinterpret_cast<uintptr_t>(text + start + length);
          for (const uintptr_t limit : {end, kUnbounded}) {
            const BothSearches found = Search(text + start, limit, kSought);
            ASSERT_EQ(found.vector - text, found.plain - text)
                << "start " << start << ", hit " << hit << " (unit " << static_cast<int>(hitUnit) << "), length "
                << length << (limit == kUnbounded ? ", up to U+0000" : ", counted");
            if (limit == kUnbounded) {
              ASSERT_EQ(FindUnitOrNul(text + start, kSought) - text, found.plain - text)
                  << "start " << start << ", hit " << hit << " (unit " << static_cast<int>(hitUnit)
                  << "), up to U+0000 without an end";
            }
            ++cases;
          }
        }
      }
    }
  }
  EXPECT_GT(cases, 50000u);
}

}  // namespace
}  // namespace pellmora
