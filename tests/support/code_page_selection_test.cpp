// Which code page the conversions use, on each kind of system, and how mutex creation failures are
// reported: both depend on answers only the host layer can be told to give.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/host/host_control.h"
#include "support/mutex.h"
#include "support/text_conversion.h"

namespace pellmora {
namespace {

class CodePageSelection : public ::testing::Test {
 protected:
  void SetUp() override {
    HostResetText();
    ResetConversionCodePage();
  }
  void TearDown() override {
    HostResetText();
    ResetConversionCodePage();
  }
};

TEST_F(CodePageSelection, ProbeChoosesBySystemFamilyAndVersion) {
  struct Case {
    DWORD platform;
    DWORD major;
    const char* localeAnswer;
    UINT expected;
  };
  const Case cases[] = {
      {VER_PLATFORM_WIN32_NT, 10, "1252", CP_THREAD_ACP},
      {VER_PLATFORM_WIN32_NT, 5, "1252", CP_THREAD_ACP},
      {VER_PLATFORM_WIN32_NT, 4, "936", 936},
      {VER_PLATFORM_WIN32_WINDOWS, 5, "1252", 1252},
  };
  for (const Case& each : cases) {
    ResetConversionCodePage();
    HostSetVersion(each.platform, each.major);
    HostSetLocaleAnsiCodePage(each.localeAnswer);
    EXPECT_EQ(ConversionCodePage(), each.expected) << each.platform << "." << each.major;
    // The choice is fixed: later changes to the system's answers do not re-probe.
    HostSetVersion(VER_PLATFORM_WIN32_WINDOWS, 4);
    EXPECT_EQ(ConversionCodePage(), each.expected == CP_THREAD_ACP ? CP_THREAD_ACP : each.expected);
  }
}

TEST_F(CodePageSelection, LocaleSelectorFallsBackToTheAnsiCodePage) {
  HostSetAnsiCodePage(936);
  struct Case {
    const char* answer;
    UINT expected;
  };
  const Case cases[] = {{"1252", 1252}, {"0", 936}, {"", 936}, {nullptr, 936}, {"65001", 65001}};
  for (const Case& each : cases) {
    HostSetLocaleAnsiCodePage(each.answer);
    EXPECT_EQ(LocaleCodePageSelector(), each.expected) << (each.answer ? each.answer : "(fails)");
  }
}

TEST_F(CodePageSelection, ThreadMarkerConvertsWithTheCallingThreadsCodePage) {
  HostSetThreadCodePage(936);
  char16_t wide[8];
  ASSERT_NE(WideFromNarrow(wide, "\xD6\xD0", 8, CP_THREAD_ACP), nullptr);
  EXPECT_EQ(std::u16string(wide), u"\u4E2D");

  std::thread other([] {
    char16_t otherWide[8];
    ASSERT_NE(WideFromNarrow(otherWide, "\xD6\xD0", 8, CP_THREAD_ACP), nullptr);
    EXPECT_EQ(std::u16string(otherWide), u"\u00D6\u00D0") << "another thread keeps the ANSI code page";
  });
  other.join();
}

TEST_F(CodePageSelection, ExactConversionWorksWhenTheThreadMarkerStandsForUTF8) {
  HostSetThreadCodePage(CP_UTF8);
  char narrow[16];
  ASSERT_EQ(NarrowFromWideExact(narrow, u"\u670D\u00E9", sizeof(narrow), CP_THREAD_ACP), narrow);
  EXPECT_EQ(std::string(narrow), "\xE6\x9C\x8D\xC3\xA9");
  SetLastError(0);
  EXPECT_EQ(NarrowFromWideExact(narrow, u"a\xDC00", sizeof(narrow), CP_THREAD_ACP), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(CodePageSelection, ExactConversionFindsUnpairedSurrogatesOnEverySystem) {
  // Before Vista no code page takes the flag that finds them, and UTF-7 never does: the
  // conversion then looks for them itself.
  struct Case {
    const char* name;
    std::u16string text;
    bool exact;
  };
  const Case cases[] = {
      {"the lowest and the highest pair", u"a\xD800\xDC00\xDBFF\xDFFF", true},
      {"two low surrogates",
       u"a\xDC00\xDC00"
       u"b",
       false},
      {"a low surrogate before the highest one", u"a\xDC00\xDFFF", false},
      {"the highest low surrogate alone", u"a\xDFFF", false},
      {"a high surrogate at the end", u"a\xDBFF", false},
  };
  for (const DWORD major : {10, 5}) {
    HostSetVersion(VER_PLATFORM_WIN32_NT, major);
    for (const UINT codePage : {CP_UTF8, CP_UTF7}) {
      for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.name) + ", code page " + std::to_string(codePage) + ", version " +
                     std::to_string(major));
        char narrow[32];
        SetLastError(0);
        const char* result = NarrowFromWideExact(narrow, each.text.c_str(), sizeof(narrow), codePage);
        if (each.exact) {
          char16_t back[16];
          ASSERT_EQ(result, narrow);
          ASSERT_EQ(WideFromNarrow(back, narrow, 16, codePage), back);
          EXPECT_EQ(std::u16string(back), each.text);
        } else {
          EXPECT_EQ(result, nullptr);
          EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        }
      }
    }
  }
}

TEST_F(CodePageSelection, CaseInsensitiveComparisonFoldsAToZAndLeavesTrailBytesAlone) {
  struct Case {
    UINT codePage;
    const char* left;
    const char* right;
    bool equal;
  };
  const Case cases[] = {
      {1252, "AZ", "az", true},
      {1252, "@[", "`{", false},
      {1252, "\x81\x41", "\x81\x61", true},  // single-byte: both bytes are characters
      {936, "HKCR", "hkcr", true},
      // 0x81 0x41 and 0x81 0x61 are two different double-byte characters, so are 0xFE 0x41 and 0xFE 0x61.
      {936, "\x81\x41", "\x81\x61", false},
      {936, "\xFE\x41", "\xFE\x61", false},
      // A trail byte in the lead-byte range does not make the next byte a trail byte.
      {936,
       "\xB1\xED"
       "A",
       "\xB1\xED"
       "a",
       true},
  };
  for (const Case& each : cases) {
    HostSetAnsiCodePage(each.codePage);
    EXPECT_EQ(lstrcmpiA(each.left, each.right) == 0, each.equal) << each.left << " " << each.right;
  }
}

TEST_F(CodePageSelection, MutexCreationFailuresBecomeResultCodes) {
  struct Case {
    DWORD error;
    HRESULT expected;
  };
  const Case cases[] = {
      {ERROR_NOT_ENOUGH_MEMORY, E_OUTOFMEMORY}, {ERROR_OUTOFMEMORY, E_OUTOFMEMORY}, {ERROR_INVALID_PARAMETER, E_FAIL}};
  for (const Case& each : cases) {
    HostFailNextMutexCreation(each.error);
    CRITICAL_SECTION mutex;
    EXPECT_EQ(InitMutex(&mutex), each.expected) << each.error;
  }
}

}  // namespace
}  // namespace pellmora
