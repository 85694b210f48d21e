// The OLE DB forms must read back through parse to the same settings, whatever the values hold;
// the ODBC form reads back with its braces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/connection_settings.h"
#include "model/unit_search.h"
#include "settings_matchers.h"

namespace pellmora {
namespace {

using testing::ExpectFields;

const std::vector<std::u16string> kAwkwardValues = {
    u"plain",
    u"",
    u"semi;colon",
    u"equals=sign",
    u"{braces}",
    u"}closing",
    u"it's",
    u"a''b''c'",
    u"'",
    u"''",
    u"\"",
    u"say \"hi\"; bye",
    u"mixed ' and \" and ;",
    u" leading",
    u"trailing ",
    u"  both  ",
    u"\ttab\r\n",
    u"\u670D\u52A1\u5668;\u00E9t\u00E9",
    u"%s%d",
};

ConnectionSettings SettingsWith(const std::u16string& value, const std::u16string& other) {
  ConnectionSettings settings;
  settings.UID = value;
  settings.PassWord = other;
  settings.Catalog = value;
  settings.DataSource = other;
  settings.CurrentLanguage = value;
  return settings;
}

TEST(RoundTrip, OleDBFormsParseBackToTheSameSettings) {
  for (const auto& value : kAwkwardValues) {
    for (const auto& other : {std::u16string(u"x"), std::u16string(u"y'y;\"")}) {
      const ConnectionSettings original = SettingsWith(value, other);
      for (const std::u16string& form : {original.OleDBString(), original.OleDBString2()}) {
        ConnectionSettings reread;
        reread.parse(form);
        ExpectFields(reread,
                     {{&ConnectionSettings::UID, value},
                      {&ConnectionSettings::PassWord, other},
                      {&ConnectionSettings::Catalog, value},
                      {&ConnectionSettings::DataSource, other},
                      {&ConnectionSettings::CurrentLanguage, value},
                      {&ConnectionSettings::Provider, u"SQLOLEDB"}},
                     "form " + std::string(form.begin(), form.end()));
      }
    }
  }
}

// Every value of up to four units drawn from the characters that quoting and parsing treat
// specially (and one ordinary letter), so each of them stands at either edge, inside, doubled and
// next to each other.
std::vector<std::u16string> SpecialCombinations() {
  const std::u16string alphabet = u"a;\"'={ \u3000\x01\u0085";
  std::vector<std::u16string> values = {u""};
  for (size_t from = 0, length = 1; length <= 4; ++length) {
    const size_t to = values.size();
    for (size_t i = from; i < to; ++i) {
      for (const char16_t unit : alphabet) values.push_back(values[i] + unit);
    }
    from = to;
  }
  return values;
}

TEST(RoundTrip, EveryCombinationOfSpecialCharactersSurvivesBothOleDBForms) {
  const std::vector<std::u16string> values = SpecialCombinations();
  size_t failures = 0;
  for (const auto& value : values) {
    const ConnectionSettings original = SettingsWith(value, value);
    for (const std::u16string& form : {original.OleDBString(), original.OleDBString2()}) {
      ConnectionSettings reread;
      reread.parse(form);
      const bool same = reread.UID == value && reread.PassWord == value && reread.Catalog == value &&
                        reread.DataSource == value && reread.CurrentLanguage == value;
      // One message per broken value is enough; the whole run would drown the first one.
      if (!same && ++failures <= 5) ADD_FAILURE() << "form " << std::string(form.begin(), form.end());
    }
  }
  EXPECT_EQ(failures, 0u) << "of " << values.size() << " values";
}

bool SameFields(const ConnectionSettings& a, const ConnectionSettings& b) {
  return a.UID == b.UID && a.PassWord == b.PassWord && a.Catalog == b.Catalog && a.DataSource == b.DataSource &&
         a.Timeout == b.Timeout && a.CurrentLanguage == b.CurrentLanguage && a.Provider == b.Provider;
}

// The same forms, and the values themselves as texts, read with the plain search and with the
// vector one, counted and up to U+0000, from every start within a 16-byte block: the same record.
TEST(RoundTrip, PlainAndVectorSearchesReadEveryTextAlike) {
  size_t failures = 0;
  for (const auto& value : SpecialCombinations()) {
    const ConnectionSettings original = SettingsWith(value, value);
    for (const std::u16string& text :
         {original.OleDBString(), original.OleDBString2(), u"pwd=" + value + u";uid=" + value}) {
      for (size_t skip = 0; skip < 8 && skip <= text.size(); ++skip) {
        const std::u16string_view view = std::u16string_view(text).substr(skip);
        ConnectionSettings read[2][2];
        for (const bool plain : {true, false}) {
          ForcePlainSearch(plain);
          read[plain][0].parse(view);
          read[plain][1].ParseTerminated(text.c_str() + skip);
        }
        const bool same = SameFields(read[0][0], read[1][0]) && SameFields(read[0][1], read[1][1]) &&
                          SameFields(read[0][0], read[0][1]);
        if (!same && ++failures <= 5) ADD_FAILURE() << "text " << std::string(view.begin(), view.end());
      }
    }
  }
  ForcePlainSearch(false);
  EXPECT_EQ(failures, 0u);
}

TEST(RoundTrip, ODBCFormParsesBackWithBraces) {
  ConnectionSettings original;
  original.DataSource = u"srv";
  original.UID = u"u}x";
  original.CurrentLanguage = u"fr";
  ConnectionSettings reread;
  reread.parse(original.ODBCString());
  ExpectFields(reread,
               {{&ConnectionSettings::DataSource, u"{srv}"},
                {&ConnectionSettings::UID, u"{u}}x}"},
                {&ConnectionSettings::PassWord, u"{}"},
                {&ConnectionSettings::Catalog, u"{}"}},
               "ODBC form");
}

}  // namespace
}  // namespace pellmora
