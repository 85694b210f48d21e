#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/builders.h"
#include "model/connection_settings.h"

namespace pellmora {
namespace {

struct EscapeCase {
  std::u16string input;
  std::u16string expected;
};

TEST(QuoteValue, QuotesOnlyWhereAReaderWouldMisreadTheValue) {
  const std::vector<EscapeCase> cases = {
      {u"", u""},
      {u"abc", u"abc"},
      {u"a;b", u"\"a;b\""},
      {u"it's", u"'it''s'"},
      {u"say \"hi\"", u"'say \"hi\"'"},
      {u"a;b'c", u"'a;b''c'"},
      {u"x\"y\"z;", u"'x\"y\"z;'"},
      {u"''", u"''''''"},
      {u"a=b{c}", u"a=b{c}"},
      {u" it's ", u"' it''s '"},
      {u" \"q\" ", u"' \"q\" '"},
      {u"a;b\"c", u"'a;b\"c'"},
      {u"=x", u"\"=x\""},
      {u"x=", u"x="},
      {u"='", u"'='''"},
      {u"\x01it's", u"'\x01it''s'"},
  };
  for (const EscapeCase& each : cases) EXPECT_EQ(QuoteValue(each.input), each.expected);
}

TEST(QuoteValue, QuotesAControlAnywhereAndWhiteSpaceAtEitherEdge) {
  // Unicode's white space, and the C0 and C1 controls.
  auto isWhiteSpace = [](char16_t unit) {
    return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20 || unit == 0x85 || unit == 0xA0 || unit == 0x1680 ||
           (unit >= 0x2000 && unit <= 0x200A) || unit == 0x2028 || unit == 0x2029 || unit == 0x202F || unit == 0x205F ||
           unit == 0x3000;
  };
  auto isControl = [](char16_t unit) { return unit <= 0x1F || (unit >= 0x7F && unit <= 0x9F); };
  for (char32_t code = 0; code <= 0xFFFF; ++code) {
    const std::u16string unit(1, static_cast<char16_t>(code));
    if (unit == u"'" || unit == u"\"" || unit == u";" || unit == u"=") continue;
    const bool atEdge = isWhiteSpace(unit[0]) || isControl(unit[0]);
    const std::pair<std::u16string, bool> values[] = {
        {unit + u"x", atEdge}, {u"x" + unit, atEdge}, {u"x" + unit + u"x", isControl(unit[0])}};
    for (const auto& [text, quoted] : values) {
      EXPECT_EQ(QuoteValue(text), quoted ? u"\"" + text + u"\"" : text) << std::hex << code;
    }
    EXPECT_EQ(QuoteValue(std::u16string_view(unit).substr(0, 0)), u"") << "nothing after the end is read";
  }
}

TEST(BraceValue, DoublesClosingBracesOnly) {
  const std::vector<EscapeCase> cases = {
      {u"", u""}, {u"a}b", u"a}}b"}, {u"a;b", u"a;b"}, {u"{x}", u"{x}}"}, {u"}}", u"}}}}"}, {u"'\"=", u"'\"="},
  };
  for (const EscapeCase& each : cases) EXPECT_EQ(BraceValue(each.input), each.expected);
}

TEST(FormatTemplate, ValuesAreDataAndNothingIsCut) {
  const std::u16string longValue(5000, u'x');
  const std::array<std::u16string, 5> values = {u"%s", u"%d%n", longValue, u"", u"e"};
  const std::u16string result = FormatTemplate(u"100% a=%s;b=%s;c=%s;d=%s;e=%s;", values);
  EXPECT_EQ(result, u"100% a=%s;b=%d%n;c=" + longValue + u";d=;e=e;");
}

TEST(Builders, FillTheirFixedForms) {
  ConnectionSettings empty;
  EXPECT_EQ(empty.ODBCString(), u"driver={SQL Server};Server={};UID={};PWD={};Database={};Language={};");
  EXPECT_EQ(empty.OleDBString(), u"Provider=SQLOLEDB;uid=;pwd=;server=;database=;Current Language=;");
  EXPECT_EQ(empty.OleDBString2(),
            u"PROVIDER=SQLOLEDB;data source=;initial catalog=;user id=;password=;Current Language=;");

  ConnectionSettings settings;
  settings.DataSource = u"srv";
  // A one-unit value moved in whole: gcc 12 misreads assigning a one-unit literal, once inlined,
  // as a copy that may overlap itself (a false -Wrestrict).
  settings.UID = std::u16string(1, u'u');
  settings.Catalog = u"db";
  EXPECT_EQ(settings.OleDBString2(),
            u"PROVIDER=SQLOLEDB;data source=srv;initial catalog=db;user id=u;password=;Current Language=;");

  settings.PassWord = u"p}w;d";
  settings.CurrentLanguage = u"it's";
  EXPECT_EQ(settings.ODBCString(),
            u"driver={SQL Server};Server={srv};UID={u};PWD={p}}w;d};Database={db};Language={it's};");
  EXPECT_EQ(settings.OleDBString(),
            u"Provider=SQLOLEDB;uid=u;pwd=\"p}w;d\";server=srv;database=db;Current Language='it''s';");
}

TEST(Builders, IgnoreTimeoutAndProvider) {
  ConnectionSettings plain;
  plain.DataSource = u"srv";
  ConnectionSettings extra = plain;
  extra.Timeout = u"30";
  extra.Provider = u"MSDASQL";
  EXPECT_EQ(extra.ODBCString(), plain.ODBCString());
  EXPECT_EQ(extra.OleDBString(), plain.OleDBString());
  EXPECT_EQ(extra.OleDBString2(), plain.OleDBString2());
}

TEST(Builders, ProduceFormsLongerThanAThousandUnitsWhole) {
  ConnectionSettings settings;
  settings.PassWord = std::u16string(2000, u'p');
  const std::u16string form = settings.OleDBString();
  EXPECT_EQ(form.size(),
            std::u16string(u"Provider=SQLOLEDB;uid=;pwd=;server=;database=;Current Language=;").size() + 2000);
  EXPECT_NE(form.find(settings.PassWord + u";server="), std::u16string::npos);
}

}  // namespace
}  // namespace pellmora
