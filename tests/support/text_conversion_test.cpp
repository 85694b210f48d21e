#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/text_conversion.h"

namespace pellmora {
namespace {

struct CodePageCase {
  const char* name;
  UINT codePage;
  std::string narrow;
  std::u16string wide;
};

// The same texts both ways, in single-byte, double-byte and UTF-8 code pages.
const std::vector<CodePageCase> kCases = {
    {"empty", 1252, "", u""},
    {"ASCII", 1252, "Server=x;", u"Server=x;"},
    {"1252 accents and euro", 1252, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
    {"936 double-byte", 936, "\xB7\xFE\xCE\xF1\xC6\xF7", u"\u670D\u52A1\u5668"},
    {"936 trail byte 0x5C", 936, "\x95\x5C", u"\u661E"},
    {"936 mixed", 936,
     "a\xD6\xD0"
     "b",
     u"a\u4E2Db"},
    {"UTF-8", 65001, "\xE6\x9C\x8D \xF0\x9F\x98\x80", u"\u670D \U0001F600"},
};

TEST(WideFromNarrow, ConvertsEachCodePage) {
  for (const auto& each : kCases) {
    std::vector<char16_t> buffer(each.narrow.size() + 1, u'#');
    const char16_t* result =
        WideFromNarrow(buffer.data(), each.narrow.c_str(), static_cast<int>(buffer.size()), each.codePage);
    ASSERT_EQ(result, buffer.data()) << each.name;
    EXPECT_EQ(std::u16string(result), each.wide) << each.name;
  }
}

TEST(NarrowFromWide, ConvertsEachCodePage) {
  for (const auto& each : kCases) {
    std::vector<char> buffer(2 * (each.wide.size() + 1), '#');
    const char* result =
        NarrowFromWide(buffer.data(), each.wide.c_str(), static_cast<int>(buffer.size()), each.codePage);
    ASSERT_EQ(result, buffer.data()) << each.name;
    EXPECT_EQ(std::string(result), each.narrow) << each.name;
  }
}

TEST(Conversions, FailWithNullForMissingTextOrTooLittleRoom) {
  char16_t wide[4] = {u'#', u'#', u'#', u'#'};
  char narrow[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(WideFromNarrow(nullptr, "abc", 4, 1252), nullptr);
  EXPECT_EQ(WideFromNarrow(wide, nullptr, 4, 1252), nullptr);
  EXPECT_EQ(wide[0], u'#') << "a null source must not touch the destination";
  EXPECT_EQ(NarrowFromWide(nullptr, u"abc", 4, 1252), nullptr);
  EXPECT_EQ(NarrowFromWide(narrow, nullptr, 4, 1252), nullptr);

  EXPECT_EQ(WideFromNarrow(wide, "abcd", 4, 1252), nullptr) << "the terminator needs a fifth unit";
  EXPECT_EQ(NarrowFromWide(narrow, u"abcd", 4, 1252), nullptr);
  EXPECT_EQ(NarrowFromWide(narrow, u"\u670D\u52A1", 4, 936), nullptr) << "two double-byte characters need 5 bytes";
  EXPECT_NE(NarrowFromWide(narrow, u"\u670D", 4, 936), nullptr);
}

TEST(NarrowFromWideExact, RefusesCharactersTheCodePageCannotHold) {
  char narrow[16];
  EXPECT_EQ(NarrowFromWide(narrow, u"a\u670Db", sizeof(narrow), 1252), narrow) << "the lenient form substitutes";
  EXPECT_EQ(std::string(narrow), "a?b");

  SetLastError(0);
  EXPECT_EQ(NarrowFromWideExact(narrow, u"a\u670Db", sizeof(narrow), 1252), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(NarrowFromWideExact(narrow, u"x\xD800y", sizeof(narrow), CP_UTF8), nullptr) << "unpaired surrogate";
  // UTF-7 refuses the flag that finds unpaired surrogates, as every code page does before Vista.
  EXPECT_EQ(NarrowFromWideExact(narrow, u"x\xDC00\xD800y", sizeof(narrow), CP_UTF7), nullptr) << "unpaired surrogates";
  ASSERT_EQ(NarrowFromWideExact(narrow, u"a+\U0001F600", sizeof(narrow), CP_UTF7), narrow);
  char16_t back[16];
  ASSERT_EQ(WideFromNarrow(back, narrow, 16, CP_UTF7), back);
  EXPECT_EQ(std::u16string(back), u"a+\U0001F600");

  ASSERT_EQ(NarrowFromWideExact(narrow, u"\u670D", sizeof(narrow), 936), narrow);
  EXPECT_EQ(std::string(narrow), "\xB7\xFE");
  ASSERT_EQ(NarrowFromWideExact(narrow, u"caf\u00E9", sizeof(narrow), 1252), narrow);
  EXPECT_EQ(std::string(narrow), "caf\xE9");
}

TEST(ConversionCodePage, NamesACodePageTheConversionsAccept) {
  const UINT codePage = ConversionCodePage();
  EXPECT_EQ(codePage, ConversionCodePage()) << "the choice is fixed after the first call";
  char16_t wide[8];
  EXPECT_NE(WideFromNarrow(wide, "abc", 8, codePage), nullptr);
  EXPECT_EQ(std::u16string(wide), u"abc");
}

}  // namespace
}  // namespace pellmora
