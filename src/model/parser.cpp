// Reads a connection string: key=value pairs separated by ";". Keys are matched whole after folding
// A-Z to lower case, nothing is trimmed, values may be enclosed in double or single quotes, and
// there is no syntax error: every input yields some settings.
//
// One forward pass over the text, in place: keys are compared where they stand, and a value is
// copied once, straight into the field it sets (whose storage a repeated parse reuses); the value
// of a key that names no field is skipped without a copy.
#include <array>
#include <cstdint>
#include <cstring>

#include "model/connection_settings.h"
#include "model/unit_search.h"

namespace pellmora {

namespace {

// Where a text ends: at its first U+0000, and a counted text also at its length.
struct TerminatedText {
  bool AtEnd(const char16_t* at) const { return *at == u'\0'; }
  const char16_t* Find(const char16_t* from, char16_t unit) const { return FindUnitOrNul(from, unit); }
};
struct CountedText {
  const char16_t* end;
  bool AtEnd(const char16_t* at) const { return at == end || *at == u'\0'; }
  const char16_t* Find(const char16_t* from, char16_t unit) const {
    return FindUnitOrNul(from, reinterpret_cast<uintptr_t>(end), unit);
  }
};

// The first position at or after `from` that holds `unit`, or the end of the text.
template <class Text>
const char16_t* Find(const Text& text, const char16_t* from, char16_t unit) {
  return text.Find(from, unit);
}

// The position after the first ";" at or after `from`, or null when the text ends first.
template <class Text>
const char16_t* AfterSemicolon(const Text& text, const char16_t* from) {
  const char16_t* semicolon = Find(text, from, u';');
  return text.AtEnd(semicolon) ? nullptr : semicolon + 1;
}

// Replaces the field's text with `length` units from `from`, in the field's own storage when it
// has room; otherwise the new storage is complete before the field changes.
void Store(std::u16string& field, const char16_t* from, size_t length) {
  if (length > field.capacity()) field.reserve(length);
  field.clear();
  field.append(from, length);
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
    Store(*field, from, length);
    return close;
  }
  // The raw text first (a failure leaves the field as it was), then each doubled quote taken
  // once, in place.
  Store(*field, from, static_cast<size_t>(close - from));
  char16_t* out = field->data() + (Find(text, from, quote) - from);
  const char16_t* const raw = field->data() + field->size();
  for (const char16_t* in = out; in < raw; ++in) {
    *out++ = *in;
    if (*in == quote) ++in;
  }
  field->resize(length);
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
  if (field != nullptr) Store(*field, start, static_cast<size_t>(semicolon - start));
  return text.AtEnd(semicolon) ? nullptr : semicolon + 1;
}

struct KeyEntry {
  std::u16string_view key;  // lower case
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

// A key is compared with one entry only: the one whose slot, a hash of the length and the first
// two units (with their 0x20 bit set, as they are compared below), is the key's. Every entry has
// a slot of its own.
constexpr size_t kSlotCount = 16;
constexpr uint8_t kNoEntry = 0xFF;

constexpr size_t SlotOf(size_t length, char16_t first, char16_t second) {
  return (2 * (static_cast<size_t>(first | 0x20) + static_cast<size_t>(second | 0x20)) + length) % kSlotCount;
}

constexpr std::array<uint8_t, kSlotCount> kEntryOfSlot = [] {
  std::array<uint8_t, kSlotCount> entries{};
  for (uint8_t& entry : entries) entry = kNoEntry;
  for (size_t index = 0; index < kKeyTable.size(); ++index) {
    const std::u16string_view key = kKeyTable[index].key;
    entries[SlotOf(key.size(), key[0], key[1])] = static_cast<uint8_t>(index);
  }
  return entries;
}();

constexpr bool EveryEntryHasItsOwnSlot() {
  for (size_t index = 0; index < kKeyTable.size(); ++index) {
    const std::u16string_view key = kKeyTable[index].key;
    if (key.size() < 2 || kEntryOfSlot[SlotOf(key.size(), key[0], key[1])] != index) return false;
  }
  return true;
}
static_assert(EveryEntryHasItsOwnSlot(), "two keys share a slot: change SlotOf or kSlotCount");

// Every unit of the table's keys is a-z or a blank, units that have the 0x20 bit set. So a key
// unit folds (A-Z to a-z, every other unit unchanged) to a table unit exactly when it equals that
// unit once the 0x20 bit is set: only A-Z and a-z reach a-z that way, and only U+0000, which
// never stands in a key (the text ends there), besides the blank reaches the blank.
constexpr bool KeysAreLowerCaseLettersAndBlanks() {
  for (const KeyEntry& entry : kKeyTable) {
    for (const char16_t unit : entry.key) {
      if (unit != u' ' && (unit < u'a' || unit > u'z')) return false;
    }
  }
  return true;
}
static_assert(KeysAreLowerCaseLettersAndBlanks(), "keys are compared by setting the 0x20 bit of each unit");

// Whether the key at `key`, of the same length as `lower`, equals it once folded; the key is
// compared where it stands, never copied, four units at a time.
bool KeyEquals(const char16_t* key, std::u16string_view lower) {
  constexpr uint64_t kFoldBits = 0x0020002000200020;
  size_t index = 0;
  for (; index + 4 <= lower.size(); index += 4) {
    uint64_t given;
    uint64_t expected;
    std::memcpy(&given, key + index, sizeof given);
    std::memcpy(&expected, lower.data() + index, sizeof expected);
    if ((given | kFoldBits) != expected) return false;
  }
  for (; index < lower.size(); ++index) {
    if ((key[index] | 0x20) != lower[index]) return false;
  }
  return true;
}

// The field that the key [begin, end) sets, or null when it names none, or names the provider
// after a non-empty one has been stored.
std::u16string* FieldOfKey(ConnectionSettings& settings, const char16_t* begin, const char16_t* end) {
  const size_t length = static_cast<size_t>(end - begin);
  if (length < 2) return nullptr;
  const uint8_t index = kEntryOfSlot[SlotOf(length, begin[0], begin[1])];
  if (index == kNoEntry) return nullptr;
  const KeyEntry& entry = kKeyTable[index];
  if (entry.key.size() != length || !KeyEquals(begin, entry.key)) return nullptr;
  std::u16string& field = settings.*entry.field;
  return entry.onlyWhileEmpty && !field.empty() ? nullptr : &field;
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

// Whether `text` points into one of the record's own fields (its terminator included). Parsing
// empties every field before it reads the text, so such a text is copied first.
bool InsideOwnField(const ConnectionSettings& settings, const char16_t* text) {
  const auto at = reinterpret_cast<uintptr_t>(text);
  const auto inside = [at](const std::u16string& own) {
    return at - reinterpret_cast<uintptr_t>(own.data()) <= own.size() * sizeof(char16_t);
  };
  // Written out and joined without branches: every parse asks, and the answer is almost never yes.
  return inside(settings.UID) | inside(settings.PassWord) | inside(settings.Catalog) | inside(settings.DataSource) |
         inside(settings.Timeout) | inside(settings.CurrentLanguage) | inside(settings.Provider);
}

// A parse of a copy of the text, for a text that lies in the record's own fields. Kept out of the
// parse itself: the copy's clean-up would otherwise weigh on every parse (12 ns of a 137 ns parse
// on the 32-bit DLL).
[[gnu::noinline, gnu::cold]] bool ParseCopy(ConnectionSettings& settings, std::u16string_view text) {
  const std::u16string copy(text);
  return settings.parse(copy);
}

}  // namespace

bool ConnectionSettings::parse(std::u16string_view text) {
  if (InsideOwnField(*this, text.data())) return ParseCopy(*this, text);
  ParseInto(*this, CountedText{text.data() + text.size()}, text.empty() ? nullptr : text.data());
  return true;
}

bool ConnectionSettings::ParseTerminated(const char16_t* text) {
  if (InsideOwnField(*this, text)) return ParseCopy(*this, std::u16string_view(text));
  ParseInto(*this, TerminatedText{}, text);
  return true;
}

}  // namespace pellmora
