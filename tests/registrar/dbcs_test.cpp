// Scripts in a double-byte code page (936): a lead byte and its trail byte are one character, and
// a trail byte 0x5C is never taken for a backslash.
#include <string>

#include "script_fixture.h"
#include "support/host/host_control.h"

namespace pellmora::testing {
namespace {

class DoubleByteScripts : public ScriptTest {
 protected:
  void SetUp() override {
    HostSetAnsiCodePage(936);
    ScriptTest::SetUp();
  }
  void TearDown() override {
    ScriptTest::TearDown();
    HostResetText();
  }
};

// U+8868 (a table) is 0xB1 0xED; U+5341 (ten) is 0xCA 0xAE; 0x81 0x5C is a character whose trail
// byte is the backslash byte.
const std::string kTrail5C = "\x81\x5C";

TEST_F(DoubleByteScripts, ATrailByte5CIsNotABackslash) {
  ASSERT_EQ(S_OK, Register("'" + kTrail5C + "' = s 'x'\nA" + kTrail5C + "B"));
  EXPECT_EQ(".\nA" + kTrail5C + "B\n" + kTrail5C + "\n" + kTrail5C + ": @ = SZ:x\n", State());
  ASSERT_EQ(S_OK, Unregister("'" + kTrail5C + "' = s 'x'\nA" + kTrail5C + "B"));
  EXPECT_EQ(".\n", State());
  // A real backslash after a double-byte character is still refused.
  EXPECT_EQ(DISP_E_EXCEPTION, Register("\xB1\xED\\B"));
}

TEST_F(DoubleByteScripts, ListValuesCopyDoubleByteCharactersWhole) {
  // 0x81 0x5C followed by "0" is a character and a digit, not a separator.
  ASSERT_EQ(S_OK, Register("val M = m '" + kTrail5C + "0\\0\xB1\xED'"));
  EXPECT_EQ(".\n.: M = MULTI:815c3000b1ed0000\n", State());
}

TEST_F(DoubleByteScripts, ATokenMayEndWithADoubleByteCharacterAt4095Bytes) {
  struct Row {
    const char* name;
    std::string token;
    HRESULT expected;
  };
  const Row rows[] = {
      {"4093 bytes and a double-byte character", std::string(4093, 'x') + "\xB1\xED", S_OK},
      {"4094 bytes and a double-byte character", std::string(4094, 'x') + "\xB1\xED", DISP_E_EXCEPTION},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string text = row.token + " next";
    ScriptParser parser(registrar_);
    parser.SetCursor(text.c_str());
    char token[kTokenCapacity];
    EXPECT_EQ(row.expected, parser.ReadToken(token));
    if (row.expected == S_OK) {
      EXPECT_EQ(row.token, token);
    }
  }
}

TEST_F(DoubleByteScripts, ReplacementValuesConvertToTheCodePage) {
  ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"Module", u"C:\\\u8868\\\u5341.dll"));
  ASSERT_EQ(S_OK, Register("A = s '%MODULE%'"));
  EXPECT_EQ(".\nA\nA: @ = SZ:C:\\\xB1\xED\\\xCA\xAE.dll\n", State());
}

}  // namespace
}  // namespace pellmora::testing

namespace pellmora::testing {
namespace {

// A system whose ANSI code page is UTF-8 needs three bytes for most characters outside Latin
// scripts: a replacement name of such characters still converts and is found.
class Utf8Scripts : public ScriptTest {
 protected:
  void SetUp() override {
    HostSetAnsiCodePage(CP_UTF8);
    ScriptTest::SetUp();
  }
  void TearDown() override {
    ScriptTest::TearDown();
    HostResetText();
  }
};

TEST_F(Utf8Scripts, ReplacementNamesOfThreeByteCharacters) {
  ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"\u8868\u5341\u8868\u5341\u8868\u5341", u"value"));
  const std::string utf8 = "\xE8\xA1\xA8\xE5\x8D\x81";
  ASSERT_NE(nullptr, registrar_.FindReplacement((utf8 + utf8 + utf8).c_str()));
  EXPECT_EQ(std::u16string(u"value"), registrar_.FindReplacement((utf8 + utf8 + utf8).c_str()));
}

}  // namespace
}  // namespace pellmora::testing

namespace pellmora::testing {
namespace {

// 130 double-byte characters: 260 bytes, within the registry's 255 characters.
std::string LongDoubleByteName() {
  std::string name;
  for (int i = 0; i < 130; ++i) name += "\xB1\xED";
  return name;
}

TEST_F(DoubleByteScripts, AKeyNameLongerThan259BytesIsDeletedWhole) {
  const std::string script = "'" + LongDoubleByteName() + "' = s 'x'";
  ASSERT_EQ(S_OK, Register(script));
  EXPECT_EQ(".\n" + LongDoubleByteName() + "\n" + LongDoubleByteName() + ": @ = SZ:x\n", State());
  EXPECT_EQ(S_OK, Unregister(script));
  EXPECT_EQ(".\n", State());
}

TEST_F(DoubleByteScripts, ForcedRemovalReachesSubkeysWithLongNames) {
  ASSERT_EQ(S_OK, Register("P\n{\n\t'" + LongDoubleByteName() + "'\n\t{\n\t\tDeep\n\t}\n}"));
  ASSERT_EQ(S_OK, Register("ForceRemove P"));
  EXPECT_EQ(".\nP\n", State());
}

}  // namespace
}  // namespace pellmora::testing
