#include "model/builders.h"

#include "model/connection_settings.h"

namespace pellmora {

namespace {

constexpr std::u16string_view kODBCForm =
    u"driver={SQL Server};Server={%s};UID={%s};PWD={%s};Database={%s};Language={%s};";
constexpr std::u16string_view kOleDBForm =
    u"Provider=SQLOLEDB;uid=%s;pwd=%s;server=%s;database=%s;Current Language=%s;";
constexpr std::u16string_view kOleDBForm2 =
    u"PROVIDER=SQLOLEDB;data source=%s;initial catalog=%s;user id=%s;password=%s;Current Language=%s;";

// White space in Unicode's sense: connection-string readers trim all of it around a bare value.
bool IsWhiteSpace(char16_t unit) {
  switch (unit) {
    case u' ': case u'\u0085': case u'\u00A0': case u'\u1680': case u'\u2028': case u'\u2029':
    case u'\u202F': case u'\u205F': case u'\u3000':
      return true;
    default:
      return (unit >= u'\t' && unit <= u'\r') || (unit >= u'\u2000' && unit <= u'\u200A');
  }
}

// C0 and C1 controls: readers refuse a whole connection string that holds one bare.
bool IsControl(char16_t unit) { return unit <= u'\u001F' || (unit >= u'\u007F' && unit <= u'\u009F'); }

}  // namespace

std::u16string BraceValue(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (const char16_t unit : text) {
    escaped.push_back(unit);
    if (unit == u'}') escaped.push_back(u'}');
  }
  return escaped;
}

std::u16string QuoteValue(std::u16string_view text) {
  if (text.empty()) return {};
  std::u16string body;
  body.reserve(text.size() + 2);
  char16_t mark = 0;
  for (const char16_t unit : text) {
    body.push_back(unit);
    if (unit == u'\'') {
      body.push_back(u'\'');
      mark = u'\'';
    } else if (unit == u'"') {
      mark = u'\'';
    } else if (mark == 0 && (unit == u';' || IsControl(unit))) {
      mark = u'"';
    }
  }
  // Readers trim white space around a bare value and take a leading "=" for an escaped "=" of the
  // key, so such values are quoted to keep them whole.
  if (mark == 0 && (text.front() == u'=' || IsWhiteSpace(text.front()) || IsWhiteSpace(text.back()))) {
    mark = u'"';
  }
  if (mark == 0) return body;
  return mark + body + mark;
}

std::u16string FormatTemplate(std::u16string_view form, const std::array<std::u16string, 5>& values) {
  size_t length = form.size();
  for (const auto& value : values) length += value.size();
  std::u16string result;
  result.reserve(length);
  size_t next = 0;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] == u'%' && i + 1 < form.size() && form[i + 1] == u's' && next < values.size()) {
      result += values[next++];
      ++i;
    } else {
      result.push_back(form[i]);
    }
  }
  return result;
}

std::u16string ConnectionSettings::ODBCString() const {
  return FormatTemplate(kODBCForm, {BraceValue(DataSource), BraceValue(UID), BraceValue(PassWord),
                                    BraceValue(Catalog), BraceValue(CurrentLanguage)});
}

std::u16string ConnectionSettings::OleDBString() const {
  return FormatTemplate(kOleDBForm, {QuoteValue(UID), QuoteValue(PassWord), QuoteValue(DataSource),
                                     QuoteValue(Catalog), QuoteValue(CurrentLanguage)});
}

std::u16string ConnectionSettings::OleDBString2() const {
  return FormatTemplate(kOleDBForm2, {QuoteValue(DataSource), QuoteValue(Catalog), QuoteValue(UID),
                                      QuoteValue(PassWord), QuoteValue(CurrentLanguage)});
}

}  // namespace pellmora
