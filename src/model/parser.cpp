// Reads a connection string: key=value pairs separated by ";". Keys are matched whole after folding
// A-Z to lower case, nothing is trimmed, values may be enclosed in double or single quotes, and
// there is no syntax error: every input yields some settings.
//
// One forward pass over the text, in place: keys are compared where they stand, and a value is
// copied once, straight into the field it sets (whose storage a repeated parse reuses); the value
// of a key that names no field is skipped without a copy.
#include <array>

#include "model/connection_settings.h"

namespace pellmora {

namespace {

// Where a text ends: at its first U+0000, and a counted text also at its length.
struct TerminatedText {
  bool AtEnd(const char16_t* at) const { return *at == u'\0'; }
};
struct CountedText {
  const char16_t* end;
  bool AtEnd(const char16_t* at) const { return at == end || *at == u'\0'; }
};

// The first position at or after `from` that holds `unit`, or the end of the text.
template <class Text>
const char16_t* Find(const Text& text, const char16_t* from, char16_t unit) {
  while (!text.AtEnd(from) && *from != unit) ++from;
  return from;
}

// The position after the first ";" at or after `from`, or null when the text ends first.
template <class Text>
const char16_t* AfterSemicolon(const Text& text, const char16_t* from) {
  const char16_t* semicolon = Find(text, from, u';');
  return text.AtEnd(semicolon) ? nullptr : semicolon + 1;
}

// Reads a value enclosed in `quote` whose text starts at `from` (just after the opening quote): a
// doubled quote stands for one quote, a single one ends the value, and an unclosed value runs to
// the end of the text. Stores it into `field` unless that is null. Returns the position of the
// closing quote, or the end of the text.
template <class Text>
const char16_t* ReadQuoted(const Text& text, const char16_t* from, char16_t quote, std::u16string* field) {
  const char16_t* close = from;
  size_t doubled = 0;
  for (;;) {
    close = Find(text, close, quote);
    if (text.AtEnd(close) || text.AtEnd(close + 1) || close[1] != quote) break;
    ++doubled;
    close += 2;
  }
  if (field == nullptr) return close;
  const size_t length = static_cast<size_t>(close - from) - doubled;
  if (doubled == 0) {
    field->assign(from, length);
    return close;
  }
  // Room first (a failure leaves the field as it was), then the runs between the doubled quotes,
  // each with one of its pair.
  if (field->capacity() < length) field->reserve(length);
  field->clear();
  const char16_t* run = from;
  for (; doubled != 0; --doubled) {
    const char16_t* pair = Find(text, run, quote);
    field->append(run, static_cast<size_t>(pair + 1 - run));
    run = pair + 2;
  }
  field->append(run, static_cast<size_t>(close - run));
  return close;
}

// Reads the value that starts at `start` (just after the "="), stores it into `field` unless that
// is null, and skips to the next pair; what follows a closing quote up to ";" is skipped. Returns
// the position where the next key starts, or null when no further pair follows.
template <class Text>
const char16_t* ReadValue(const Text& text, const char16_t* start, std::u16string* field) {
  if (!text.AtEnd(start) && (*start == u'"' || *start == u'\'')) {
    const char16_t* close = ReadQuoted(text, start + 1, *start, field);
    return text.AtEnd(close) ? nullptr : AfterSemicolon(text, close + 1);
  }
  const char16_t* semicolon = Find(text, start, u';');
  if (field != nullptr) field->assign(start, static_cast<size_t>(semicolon - start));
  return text.AtEnd(semicolon) ? nullptr : semicolon + 1;
}

struct KeyEntry {
  std::u16string_view key;  // lower case
  std::u16string ConnectionSettings::*field;
  bool onlyWhileEmpty;  // the first non-empty value wins instead of the last
};

// Ordered by length, so that a key is compared only with the entries of its own length.
constexpr std::array<KeyEntry, 11> kKeyTable{{
    {u"uid", &ConnectionSettings::UID, false},
    {u"pwd", &ConnectionSettings::PassWord, false},
    {u"server", &ConnectionSettings::DataSource, false},
    {u"user id", &ConnectionSettings::UID, false},
    {u"provider", &ConnectionSettings::Provider, true},
    {u"password", &ConnectionSettings::PassWord, false},
    {u"database", &ConnectionSettings::Catalog, false},
    {u"data source", &ConnectionSettings::DataSource, false},
    {u"initial catalog", &ConnectionSettings::Catalog, false},
    {u"connect timeout", &ConnectionSettings::Timeout, false},
    {u"current language", &ConnectionSettings::CurrentLanguage, false},
}};

constexpr size_t kLongestKey = kKeyTable.back().key.size();

// Where the entries of each length begin in kKeyTable; those of length n end where n + 1 begin.
constexpr std::array<size_t, kLongestKey + 2> kFirstKeyOfLength = [] {
  std::array<size_t, kLongestKey + 2> first{};
  size_t index = 0;
  for (size_t length = 0; length < first.size(); ++length) {
    while (index < kKeyTable.size() && kKeyTable[index].key.size() < length) ++index;
    first[length] = index;
  }
  return first;
}();

constexpr bool OrderedByLength() {
  for (size_t index = 1; index < kKeyTable.size(); ++index) {
    if (kKeyTable[index - 1].key.size() > kKeyTable[index].key.size()) return false;
  }
  return true;
}
static_assert(OrderedByLength(), "the key table must stay ordered by length");

// A-Z folded to a-z; every other unit stays, whatever the locale.
char16_t LowerKeyUnit(char16_t unit) {
  return static_cast<char16_t>(unit >= u'A' && unit <= u'Z' ? unit + 0x20 : unit);
}

// Whether the key at `key`, of the same length as `lower`, equals it once folded; the key is
// compared where it stands, never copied.
bool KeyEquals(const char16_t* key, std::u16string_view lower) {
  for (const char16_t expected : lower) {
    if (LowerKeyUnit(*key++) != expected) return false;
  }
  return true;
}

// The field that the key [begin, end) sets, or null when it names none, or names the provider
// after a non-empty one has been stored.
std::u16string* FieldOfKey(ConnectionSettings& settings, const char16_t* begin, const char16_t* end) {
  const size_t length = static_cast<size_t>(end - begin);
  if (length > kLongestKey) return nullptr;
  for (size_t index = kFirstKeyOfLength[length]; index < kFirstKeyOfLength[length + 1]; ++index) {
    const KeyEntry& entry = kKeyTable[index];
    if (!KeyEquals(begin, entry.key)) continue;
    std::u16string& field = settings.*entry.field;
    return entry.onlyWhileEmpty && !field.empty() ? nullptr : &field;
  }
  return nullptr;
}

// Every field emptied, then each pair read in turn: the key up to the next "=" (blanks and all),
// then its value. A text without a further "=" ends the parse.
template <class Text>
void ParseInto(ConnectionSettings& settings, const Text& text, const char16_t* position) {
  settings.Reset();
  while (position != nullptr) {
    const char16_t* equals = Find(text, position, u'=');
    if (text.AtEnd(equals)) break;
    position = ReadValue(text, equals + 1, FieldOfKey(settings, position, equals));
  }
}

}  // namespace

bool ConnectionSettings::parse(std::u16string_view text) {
  ParseInto(*this, CountedText{text.data() + text.size()}, text.empty() ? nullptr : text.data());
  return true;
}

bool ConnectionSettings::ParseTerminated(const char16_t* text) {
  ParseInto(*this, TerminatedText{}, text);
  return true;
}

}  // namespace pellmora
