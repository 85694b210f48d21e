#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/connection_settings.h"
#include "settings_matchers.h"

namespace pellmora {
namespace {

using testing::Expected;
using testing::ExpectFields;

constexpr auto UID = &ConnectionSettings::UID;
constexpr auto PassWord = &ConnectionSettings::PassWord;
constexpr auto Catalog = &ConnectionSettings::Catalog;
constexpr auto DataSource = &ConnectionSettings::DataSource;
constexpr auto Timeout = &ConnectionSettings::Timeout;
constexpr auto CurrentLanguage = &ConnectionSettings::CurrentLanguage;
constexpr auto Provider = &ConnectionSettings::Provider;

struct ParseCase {
  const char* name;
  std::u16string input;
  Expected expected;
};

TEST(Parse, YieldsTheSettingsOfEachInput) {
  const std::vector<ParseCase> cases = {
      {"empty text", u"", {}},
      {"no equals sign", u"just some text; and more", {}},
      {"three pairs, last runs to the end",
       u"Server=srv;Database=db;UID=u",
       {{DataSource, u"srv"}, {Catalog, u"db"}, {UID, u"u"}}},
      {"pwd", u"pwd=secret", {{PassWord, u"secret"}}},
      {"password", u"password=secret;", {{PassWord, u"secret"}}},
      {"every long key",
       u"data source=d;user id=u;initial catalog=c;connect timeout=15;current language=fr;provider=p",
       {{DataSource, u"d"},
        {UID, u"u"},
        {Catalog, u"c"},
        {Timeout, u"15"},
        {CurrentLanguage, u"fr"},
        {Provider, u"p"}}},
      {"keys fold A-Z, values keep case", u"DATA SOURCE=X;", {{DataSource, u"X"}}},
      {"only A-Z fold", u"\u00C0server=x;", {}},
      {"leading blank in key matches nothing", u"Server=a; Database=b", {{DataSource, u"a"}}},
      {"blank before equals matches nothing", u"Server =a", {}},
      {"value keeps its blanks", u"Server= a ;", {{DataSource, u" a "}}},
      {"empty segment joins the next key", u"Server=a;;Database=b", {{DataSource, u"a"}}},
      {"last synonym wins", u"Server=a;Data Source=b", {{DataSource, u"b"}}},
      {"first provider wins", u"Provider=p1;Provider=p2", {{Provider, u"p1"}}},
      {"empty provider does not count", u"Provider=;Provider=p2", {{Provider, u"p2"}}},
      {"double quotes hold a semicolon", u"Database=\"a;b\";Server=c", {{Catalog, u"a;b"}, {DataSource, u"c"}}},
      {"text after closing double quote skipped", u"Database=\"a\"xyz;Server=c", {{Catalog, u"a"}, {DataSource, u"c"}}},
      {"unclosed double quote takes the rest", u"Server=x;Database=\"abc", {{DataSource, u"x"}, {Catalog, u"abc"}}},
      {"doubled double quote", u"Server=\"a\"\"b\";uid=u", {{DataSource, u"a\"b"}, {UID, u"u"}}},
      {"empty double-quoted value", u"pwd=\"\";uid=u", {{UID, u"u"}}},
      {"both quotes, double-quoted", u"User ID=\"'\"\"\"", {{UID, u"'\""}}},
      {"only doubled double quotes", u"Database=\"\"\"\"\"\"\"\";Server=d", {{Catalog, u"\"\"\""}, {DataSource, u"d"}}},
      {"unclosed double quote ends in a doubled one", u"Database=\"a\"\"", {{Catalog, u"a\""}}},
      {"double-quoted value at the end", u"Database=\"abc\"", {{Catalog, u"abc"}}},
      {"single-quoted value at the end", u"Database='abc'", {{Catalog, u"abc"}}},
      {"empty value at the end", u"Server=x;Database=", {{DataSource, u"x"}}},
      {"lone single quote at the end", u"Server=x;Database='", {{DataSource, u"x"}}},
      {"unclosed single quote takes semicolons", u"Database=';Server=d", {{Catalog, u";Server=d"}}},
      {"doubled quote", u"Database='it''s';", {{Catalog, u"it's"}}},
      {"every doubled quote counts", u"Database='a''b''c';Server=d", {{Catalog, u"a'b'c"}, {DataSource, u"d"}}},
      {"only doubled quotes", u"Database='''''';Server=d", {{Catalog, u"''"}, {DataSource, u"d"}}},
      {"unclosed single quote", u"Database='abc", {{Catalog, u"abc"}}},
      {"unclosed single quote ends in a doubled one", u"Database='a''", {{Catalog, u"a'"}}},
      {"text after closing single quote skipped", u"Database='a'b;Server=d", {{Catalog, u"a"}, {DataSource, u"d"}}},
      {"quote inside a bare value", u"Database=ab'c;", {{Catalog, u"ab'c"}}},
      {"equals inside a bare value", u"Database=a=b;", {{Catalog, u"a=b"}}},
      {"braces are ordinary", u"Server={x};", {{DataSource, u"{x}"}}},
      {"braces do not hide a semicolon", u"Database={a;b};", {{Catalog, u"{a"}}},
      {"driver pair ignored", u"Driver={SQL Server};Server=x", {{DataSource, u"x"}}},
      {"non-ASCII value",
       u"Server=\u670D\u52A1\u5668;uid=\u00FCser",
       {{DataSource, u"\u670D\u52A1\u5668"}, {UID, u"\u00FCser"}}},
      {"timeout is text", u"Connect Timeout=soon", {{Timeout, u"soon"}}},
      {"text ends at its first NUL", std::u16string(u"uid=u;Server=a\0b;pwd=p", 22), {{UID, u"u"}, {DataSource, u"a"}}},
      {"NUL inside a quoted value", std::u16string(u"uid='u\0';pwd=p", 14), {{UID, u"u"}}},
      {"NUL inside a key", std::u16string(u"uid=u;pw\0d=p", 12), {{UID, u"u"}}},
      {"keys that go on past a known key",
       u"pwd=secret;PasswordResetRequiredNow=yes;ServerAbcdefghijklmnop=x",
       {{PassWord, u"secret"}}},
  };
  for (const ParseCase& each : cases) {
    // A counted text ends at its length, whatever follows it (a quote of either kind, or the end
    // of its storage, where the sanitizers see a read beyond it).
    for (const std::u16string tail : {u"'x;uid=tail", u"\"x;uid=tail", u""}) {
      const std::u16string text = each.input + tail;
      const auto storage = std::make_unique<char16_t[]>(text.size());
      std::copy(text.begin(), text.end(), storage.get());
      ConnectionSettings settings;
      EXPECT_TRUE(settings.parse(std::u16string_view(storage.get(), each.input.size()))) << each.name;
      ExpectFields(settings, each.expected, each.name);
    }
    // Read in place up to the terminator, as the component reads an automation string; nothing
    // after it is read (the storage ends there).
    const auto storage = std::make_unique<char16_t[]>(each.input.size() + 1);
    std::copy(each.input.c_str(), each.input.c_str() + each.input.size() + 1, storage.get());
    ConnectionSettings terminated;
    EXPECT_TRUE(terminated.ParseTerminated(storage.get())) << each.name;
    ExpectFields(terminated, each.expected, std::string(each.name) + ", terminated");
  }
}

TEST(Parse, StartsFromAnEmptyRecord) {
  ConnectionSettings settings;
  for (const auto& field : testing::kFields) settings.*field.field = u"old";
  settings.parse(u"Server=new");
  ExpectFields(settings, {{DataSource, u"new"}}, "after parse");
  // Its text may lie in one of its own fields, inside the record (a short text) or outside it.
  for (const auto& field : testing::kFields) {
    settings.*field.field = u"uid=a";
    settings.parse(settings.*field.field);
    ExpectFields(settings, {{UID, u"a"}}, field.name);
    settings.*field.field = u"Server=own;uid=b";
    settings.parse(settings.*field.field);
    ExpectFields(settings, {{DataSource, u"own"}, {UID, u"b"}}, field.name);
    settings.*field.field = u"uid=c";
    settings.ParseTerminated((settings.*field.field).c_str());
    ExpectFields(settings, {{UID, u"c"}}, field.name);
  }
}

TEST(Reset, EmptiesEveryField) {
  ConnectionSettings settings;
  for (const auto& field : testing::kFields) settings.*field.field = u" kept as is ";
  settings.Reset();
  ExpectFields(settings, {}, "after Reset");
}

}  // namespace
}  // namespace pellmora
