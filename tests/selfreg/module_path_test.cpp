// The path helpers of self-registration: reading the module file name, escaping it for a script
// and finding its directory.
#include "module/module_path.h"

#include <gtest/gtest.h>

#include <string>

namespace pellmora {
namespace {

TEST(ModuleFileNameResult, MapsEveryOutcomeOfTheLoaderCall) {
  struct Row {
    DWORD length;
    DWORD lastError;
    HRESULT expected;
  };
  const Row rows[] = {
      {1, 0, S_OK},
      {259, 0, S_OK},
      {260, 0, static_cast<HRESULT>(0x8007007A)},  // the name did not fit
      {260, ERROR_INSUFFICIENT_BUFFER, static_cast<HRESULT>(0x8007007A)},
      {0, ERROR_MOD_NOT_FOUND, static_cast<HRESULT>(0x8007007E)},
      {0, ERROR_INVALID_HANDLE, static_cast<HRESULT>(0x80070006)},
      {0, 0, E_FAIL},  // failed without saying why
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.expected, ModuleFileNameResult(row.length, row.lastError))
        << "length " << row.length << ", last error " << row.lastError;
  }
}

TEST(ReadModuleFileName, ReadsTheRunningProgramsPath) {
  char path[kModulePathCapacity];
  ASSERT_EQ(S_OK, ReadModuleFileName(nullptr, path));
  const std::string name(path);
  EXPECT_NE(std::string::npos, name.find("selfreg_module_path_test.exe")) << name;
}

TEST(ReadModuleFileName, ReportsAModuleThatIsNotLoaded) {
  char path[kModulePathCapacity] = "left over";
  // A handle that names no module in this process: the loader fails and says why.
  const HRESULT result = ReadModuleFileName(reinterpret_cast<HMODULE>(0x10), path);
  EXPECT_TRUE(FAILED(result)) << std::hex << result;
  EXPECT_NE(E_FAIL, result);
  EXPECT_STREQ("", path);
}

TEST(EscapeScriptQuotes, DoublesEverySingleQuote) {
  struct Row {
    std::u16string source;
    std::u16string expected;
  };
  const Row rows[] = {
      {u"", u""},
      {u"C:\\dir\\Pellmora.dll", u"C:\\dir\\Pellmora.dll"},
      {u"C:\\it's\\Pellmora.dll", u"C:\\it''s\\Pellmora.dll"},
      {u"''", u"''''"},
      {u"'a'", u"''a''"},
      {u"\"double\" and %percent%", u"\"double\" and %percent%"},
      {u"\u6570\u636e'\u5e93", u"\u6570\u636e''\u5e93"},
  };
  for (const Row& row : rows) {
    char16_t destination[kEscapedPathCapacity];
    ASSERT_TRUE(EscapeScriptQuotes(destination, kEscapedPathCapacity, row.source.c_str()));
    EXPECT_EQ(row.expected, std::u16string(destination));
  }
}

TEST(EscapeScriptQuotes, TheLongestPathOfQuotesFitsTheEscapedBuffer) {
  const std::u16string quotes(kModulePathCapacity - 1, u'\'');
  char16_t destination[kEscapedPathCapacity];
  ASSERT_TRUE(EscapeScriptQuotes(destination, kEscapedPathCapacity, quotes.c_str()));
  EXPECT_EQ(std::u16string(2 * quotes.size(), u'\''), std::u16string(destination));
}

TEST(EscapeScriptQuotes, RefusesATextThatDoesNotFit) {
  struct Row {
    std::u16string source;
    std::size_t capacity;
    bool fits;
  };
  const Row rows[] = {
      {u"abc", 4, true}, {u"abc", 3, false}, {u"a'", 4, true}, {u"a'", 3, false}, {u"", 1, true}, {u"", 0, false},
  };
  for (const Row& row : rows) {
    char16_t destination[8] = u"junk";
    EXPECT_EQ(row.fits, EscapeScriptQuotes(destination, row.capacity, row.source.c_str()))
        << "capacity " << row.capacity;
    if (!row.fits && row.capacity > 0) {
      EXPECT_EQ(u'\0', destination[0]) << "capacity " << row.capacity;
    }
  }
}

TEST(DirectoryLength, CountsUpToTheLastSeparator) {
  struct Row {
    const char16_t* path;
    std::size_t expected;
  };
  const Row rows[] = {
      {nullptr, 0},
      {u"", 0},
      {u"Pellmora.dll", 0},
      {u"C:\\dir\\Pellmora.dll", 7},
      {u"C:\\dir\\", 7},
      {u"C:Pellmora.dll", 2},
      {u"/unix/style/x.dll", 12},
      {u"C:\\mixed/sep\\x.dll", 13},
      {u"\\\\server\\share\\x.dll", 15},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.expected, DirectoryLength(row.path))
        << (row.path ? std::string(row.path, row.path + std::char_traits<char16_t>::length(row.path))
                     : std::string("null"));
  }
}

}  // namespace
}  // namespace pellmora
