// Reads a connection string: key=value pairs separated by ";". Keys are matched whole after folding
// A-Z to lower case, nothing is trimmed, values may be enclosed in double or single quotes, and
// there is no syntax error: every input yields some settings. One forward pass over the text.
#include <array>

#include "model/connection_settings.h"

namespace pellmora {

namespace {

constexpr size_t kEnd = std::u16string_view::npos;  // no further pair follows

// Reads the key that starts at `position`: everything up to the next "=", blanks and all.
// Returns the index after the "=", or kEnd (key untouched) when there is none.
size_t ReadKey(std::u16string_view text, size_t position, std::u16string& key) {
  const size_t equals = text.find(u'=', position);
  if (equals == kEnd) return kEnd;
  key.assign(text.substr(position, equals - position));
  return equals + 1;
}

// Index after the first ";" at or after `from`, or kEnd.
size_t AfterSemicolon(std::u16string_view text, size_t from) {
  const size_t semicolon = text.find(u';', from);
  return semicolon == kEnd ? kEnd : semicolon + 1;
}

// Reads a value enclosed in `quote` whose opening quote is at `start`: a doubled quote stands for
// one quote, a single one ends the value, and an unclosed value runs to the end of the text.
// Returns the index after the closing quote (or the end of the text).
size_t ReadQuoted(std::u16string_view text, size_t start, char16_t quote, std::u16string& value) {
  value.clear();
  size_t read = start + 1;
  while (read < text.size()) {
    const char16_t unit = text[read++];
    if (unit != quote) {
      value.push_back(unit);
    } else if (read < text.size() && text[read] == quote) {
      value.push_back(quote);
      ++read;
    } else {
      break;
    }
  }
  return read;
}

// Reads the value that starts at `start` (just after the "=") and skips to the next pair; what
// follows a closing quote up to ";" is skipped. Returns the index where the next key starts, or kEnd.
size_t ReadValue(std::u16string_view text, size_t start, std::u16string& value) {
  const char16_t first = start < text.size() ? text[start] : u'\0';
  if (first == u'"' || first == u'\'') return AfterSemicolon(text, ReadQuoted(text, start, first, value));
  const size_t semicolon = text.find(u';', start);
  if (semicolon == kEnd) {
    value.assign(text.substr(start));
    return kEnd;
  }
  value.assign(text.substr(start, semicolon - start));
  return semicolon + 1;
}

// Folds A-Z to a-z in place; every other unit stays, whatever the locale.
void LowerKey(std::u16string& key) {
  for (char16_t& unit : key) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 0x20);
  }
}

struct KeyEntry {
  std::u16string_view key;
  std::u16string ConnectionSettings::*field;
  bool onlyWhileEmpty;  // the first non-empty value wins instead of the last
};

constexpr std::array<KeyEntry, 11> kKeyTable{{
    {u"provider", &ConnectionSettings::Provider, true},
    {u"data source", &ConnectionSettings::DataSource, false},
    {u"server", &ConnectionSettings::DataSource, false},
    {u"user id", &ConnectionSettings::UID, false},
    {u"uid", &ConnectionSettings::UID, false},
    {u"password", &ConnectionSettings::PassWord, false},
    {u"pwd", &ConnectionSettings::PassWord, false},
    {u"initial catalog", &ConnectionSettings::Catalog, false},
    {u"database", &ConnectionSettings::Catalog, false},
    {u"connect timeout", &ConnectionSettings::Timeout, false},
    {u"current language", &ConnectionSettings::CurrentLanguage, false},
}};

}  // namespace

bool ConnectionSettings::parse(std::u16string_view text) {
  Reset();
  std::u16string key;
  std::u16string value;
  size_t position = 0;
  while (position != kEnd) {
    const size_t valueStart = ReadKey(text, position, key);
    if (valueStart == kEnd) break;
    position = ReadValue(text, valueStart, value);
    LowerKey(key);
    for (const KeyEntry& entry : kKeyTable) {
      if (entry.key != key) continue;
      std::u16string& field = this->*entry.field;
      if (!entry.onlyWhileEmpty || field.empty()) field = value;
      break;
    }
  }
  return true;
}

}  // namespace pellmora
