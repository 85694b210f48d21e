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
      {u"in ner", u"in ner"},
      {u" lead", u"\" lead\""},
      {u"trail\t", u"\"trail\t\""},
      {u"\r\n", u"\"\r\n\""},
      {u"\v", u"\"\v\""},
      {u" it's ", u"' it''s '"},
      {u" \"q\" ", u"' \"q\" '"},
      {u"a;b\"c", u"'a;b\"c'"},
      {u"=x", u"\"=x\""},
      {u"x=", u"x="},
      {u"='", u"'='''"},
      {u"trail\r", u"\"trail\r\""},
      {u"\ffeed", u"\"\ffeed\""},
      {u"in\x01side", u"\"in\x01side\""},
      {u"del\x7F", u"\"del\x7F\""},
      {u"c1\u009Fx", u"\"c1\u009Fx\""},
      {u"\u00A0nbsp", u"\"\u00A0nbsp\""},
      {u"x\u0085", u"\"x\u0085\""},
      {u"\u1680x", u"\"\u1680x\""},
      {u"x\u2000", u"\"x\u2000\""},
      {u"\u200Ax", u"\"\u200Ax\""},
      {u"\u2028x\u2029", u"\"\u2028x\u2029\""},
      {u"x\u202F", u"\"x\u202F\""},
      {u"\u205Fx", u"\"\u205Fx\""},
      {u"x\u3000", u"\"x\u3000\""},
      {u"in\u3000\u00A0ner", u"in\u3000\u00A0ner"},
      {u"\u200Bzero width", u"\u200Bzero width"},
      {u"\u00A1x\u00AD", u"\u00A1x\u00AD"},
      {u"\u1FFFx\u200B", u"\u1FFFx\u200B"},
      {u"\x01it's", u"'\x01it''s'"},
  };
  for (const EscapeCase& each : cases) EXPECT_EQ(QuoteValue(each.input), each.expected);
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
  const std::u16string result = FormatTemplate(u"a=%s;b=%s;c=%s;d=%s;e=%s;", values);
  EXPECT_EQ(result, u"a=%s;b=%d%n;c=" + longValue + u";d=;e=e;");
}

TEST(Builders, FillTheirFixedForms) {
  ConnectionSettings empty;
  EXPECT_EQ(empty.ODBCString(), u"driver={SQL Server};Server={};UID={};PWD={};Database={};Language={};");
  EXPECT_EQ(empty.OleDBString(), u"Provider=SQLOLEDB;uid=;pwd=;server=;database=;Current Language=;");
  EXPECT_EQ(empty.OleDBString2(),
            u"PROVIDER=SQLOLEDB;data source=;initial catalog=;user id=;password=;Current Language=;");

  ConnectionSettings settings;
  settings.DataSource = u"srv";
  settings.UID = u"u";
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
  EXPECT_EQ(form.size(), std::u16string(u"Provider=SQLOLEDB;uid=;pwd=;server=;database=;Current Language=;").size() + 2000);
  EXPECT_NE(form.find(settings.PassWord + u";server="), std::u16string::npos);
}

}  // namespace
}  // namespace pellmora
