// Which code page the conversions use, on each kind of system, and how mutex creation failures are
// reported: both depend on answers only the host layer can be told to give.
#include <gtest/gtest.h>

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

TEST_F(CodePageSelection, CaseInsensitiveComparisonLeavesTrailBytesAlone) {
  HostSetAnsiCodePage(936);
  EXPECT_EQ(lstrcmpiA("HKCR", "hkcr"), 0);
  // 0x81 0x41 and 0x81 0x61 are two different double-byte characters.
  EXPECT_NE(lstrcmpiA("\x81\x41", "\x81\x61"), 0);
  HostSetAnsiCodePage(1252);
  EXPECT_EQ(lstrcmpiA("\x81\x41", "\x81\x61"), 0) << "single-byte: both bytes are characters";
}

TEST_F(CodePageSelection, MutexCreationFailuresBecomeResultCodes) {
  struct Case {
    DWORD error;
    HRESULT expected;
  };
  const Case cases[] = {{ERROR_NOT_ENOUGH_MEMORY, E_OUTOFMEMORY}, {ERROR_OUTOFMEMORY, E_OUTOFMEMORY},
                        {ERROR_INVALID_PARAMETER, E_FAIL}};
  for (const Case& each : cases) {
    HostFailNextMutexCreation(each.error);
    CRITICAL_SECTION mutex;
    EXPECT_EQ(InitMutex(&mutex), each.expected) << each.error;
  }
}

}  // namespace
}  // namespace pellmora
