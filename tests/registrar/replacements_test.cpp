// The replacement pass and the replacement map behind it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"
#include "support/result_codes.h"

namespace pellmora::testing {
namespace {

struct Expansion {
  HRESULT result;
  std::string text;
};

Expansion Expand(const ScriptRegistrar& registrar, const std::string& text) {
  ScriptParser parser(registrar);
  TaskText expanded;
  const HRESULT result = parser.ExpandReplacements(text.c_str(), &expanded);
  if (FAILED(result)) {
    EXPECT_EQ(nullptr, expanded.get()) << "a failed pass hands out nothing";
  }
  return {result, expanded ? std::string(expanded.get()) : std::string("<none>")};
}

TEST(ExpandReplacements, ReplacesNamesBetweenPercentSigns) {
  ScriptRegistrar registrar;
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"APPID", u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}"));
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Module", u"C:\\It''s\\Pellmora.dll"));
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Percent", u"100%Y%"));
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Empty", u""));
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"abcdefghijklmnopqrstuvwxyz01234", u"thirty-one"));
  const std::string name31 = "abcdefghijklmnopqrstuvwxyz01234";
  const std::string name32 = name31 + "5";

  struct Row {
    const char* name;
    std::string text;
    HRESULT result;
    std::string expanded;
  };
  const std::vector<Row> rows = {
      {"empty text", "", S_OK, ""},
      {"no replacement", "HKCR { }", S_OK, "HKCR { }"},
      {"two percent signs", "a%%b%%", S_OK, "a%b%"},
      {"a name", "'%APPID%'", S_OK, "'{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}'"},
      {"names match in any case", "%MODULE% %module%", S_OK, "C:\\It''s\\Pellmora.dll C:\\It''s\\Pellmora.dll"},
      {"an inserted value is not scanned again", "%Percent%", S_OK, "100%Y%"},
      {"an empty value", "[%Empty%]", S_OK, "[]"},
      {"a name of 31 bytes", "%" + name31 + "%", S_OK, "thirty-one"},
      {"a name of 32 bytes", "%" + name32 + "%", E_FAIL, "<none>"},
      {"an undefined name", "%Nope%", DISP_E_EXCEPTION, "<none>"},
      {"an undefined name of 31 bytes", "%" + name32.substr(1) + "%", DISP_E_EXCEPTION, "<none>"},
      {"no closing percent sign", "50%", DISP_E_EXCEPTION, "<none>"},
      {"a long name without closing percent sign", "%" + name32 + name32, DISP_E_EXCEPTION, "<none>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Expansion expansion = Expand(registrar, row.text);
    EXPECT_EQ(row.result, expansion.result);
    EXPECT_EQ(row.expanded, expansion.text);
  }
}

TEST(ExpandReplacements, MissingArguments) {
  ScriptRegistrar registrar;
  ScriptParser parser(registrar);
  TaskText expanded;
  EXPECT_EQ(E_POINTER, parser.ExpandReplacements(nullptr, &expanded));
  EXPECT_EQ(E_POINTER, parser.ExpandReplacements("x", nullptr));
}

TEST(ExpandReplacements, GrowsForLongValues) {
  ScriptRegistrar registrar;
  const std::u16string value(5000, u'v');
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Long", value.c_str()));
  const Expansion expansion = Expand(registrar, "<%Long%|%Long%|%Long%>");
  ASSERT_EQ(S_OK, expansion.result);
  const std::string narrow(5000, 'v');
  EXPECT_EQ("<" + narrow + "|" + narrow + "|" + narrow + ">", expansion.text);
}

TEST(ExpandReplacements, AValueTheCodePageCannotHoldFailsThePass) {
  ScriptRegistrar registrar;
  // THAI CHARACTER KO KAI exists in neither the Western nor the Simplified Chinese code page.
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Module", u"C:\\\u0E01\\Pellmora.dll"));
  const Expansion expansion = Expand(registrar, "'%Module%'");
  EXPECT_EQ(ResultFromWin32(ERROR_NO_UNICODE_TRANSLATION), expansion.result);
  EXPECT_EQ(static_cast<HRESULT>(0x80070459), expansion.result);
}

TEST(ScriptRegistrar, TheFirstDefinitionOfANameWins) {
  ScriptRegistrar registrar;
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"APPID", u"first"));
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"appid", u"second"));
  EXPECT_EQ("first", Expand(registrar, "%APPID%").text);
  ASSERT_NE(nullptr, registrar.FindReplacement("AppId"));
  EXPECT_EQ(std::u16string(u"first"), registrar.FindReplacement("AppId"));
  EXPECT_EQ(nullptr, registrar.FindReplacement("APPI"));
}

TEST(ScriptRegistrar, RemoveAllReplacementsEmptiesTheMap) {
  ScriptRegistrar registrar;
  EXPECT_EQ(S_OK, registrar.RemoveAllReplacements()) << "on an empty map";
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Module", u"m"));
  EXPECT_EQ(S_OK, registrar.RemoveAllReplacements());
  EXPECT_EQ(DISP_E_EXCEPTION, Expand(registrar, "%Module%").result);
  ASSERT_EQ(S_OK, registrar.DefineReplacement(u"Module", u"again"));
  EXPECT_EQ("again", Expand(registrar, "%Module%").text);
}

TEST(ScriptRegistrar, DefineReplacementRefusesMissingTexts) {
  ScriptRegistrar registrar;
  EXPECT_EQ(E_INVALIDARG, registrar.DefineReplacement(nullptr, u"v"));
  EXPECT_EQ(E_INVALIDARG, registrar.DefineReplacement(u"n", nullptr));
  EXPECT_EQ(nullptr, registrar.FindReplacement("n"));
}

TEST(ScriptRegistrar, HasTheShapeOfAnObjectThatAnswersNothing) {
  ScriptRegistrar registrar;
  const IID anyInterface{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  void* object = &registrar;
  EXPECT_EQ(E_NOTIMPL, registrar.QueryInterface(anyInterface, &object));
  EXPECT_EQ(static_cast<void*>(&registrar), object) << "the out pointer is not touched";
  EXPECT_EQ(1u, registrar.AddRef());
  EXPECT_EQ(1u, registrar.AddRef());
  EXPECT_EQ(0u, registrar.Release());
  EXPECT_EQ(0u, registrar.Release());
}

}  // namespace
}  // namespace pellmora::testing
