#include "model/builders.h"

#include <cstring>

#include "model/connection_settings.h"

namespace pellmora {

namespace {

using Traits = std::char_traits<char16_t>;

// The template cut at its first five "%s"; the rest of it after the last one found.
constexpr FormPieces SplitForm(std::u16string_view form) {
  FormPieces pieces;
  size_t start = 0;
  while (pieces.placeholders < 5) {
    const size_t at = form.find(u"%s", start);
    if (at == std::u16string_view::npos) break;
    pieces.text[pieces.placeholders++] = form.substr(start, at - start);
    start = at + 2;
  }
  pieces.text[pieces.placeholders] = form.substr(start);
  return pieces;
}

// White space in Unicode's sense: connection-string readers trim all of it around a bare value.
bool IsWhiteSpace(char16_t unit) {
  switch (unit) {
    case u' ':
    case u'\u0085':
    case u'\u00A0':
    case u'\u1680':
    case u'\u2028':
    case u'\u2029':
    case u'\u202F':
    case u'\u205F':
    case u'\u3000':
      return true;
    default:
      return (unit >= u'\t' && unit <= u'\r') || (unit >= u'\u2000' && unit <= u'\u200A');
  }
}

// C0 and C1 controls: readers refuse a whole connection string that holds one bare.
bool IsControl(char16_t unit) { return unit <= u'\u001F' || (unit >= u'\u007F' && unit <= u'\u009F'); }

EscapedValue Unescaped(std::u16string_view text) { return {text, 0, 0, text.size()}; }

EscapedValue Braced(std::u16string_view text) {
  size_t braces = 0;
  for (const char16_t unit : text) braces += unit == u'}';
  return {text, u'}', 0, text.size() + braces};
}

EscapedValue Quoted(std::u16string_view text) {
  if (text.empty()) return Unescaped(text);
  size_t apostrophes = 0;
  bool doubleQuote = false;
  bool separatorOrControl = false;
  for (const char16_t unit : text) {
    if (unit == u'\'') {
      ++apostrophes;
    } else if (unit == u'"') {
      doubleQuote = true;
    } else if (unit == u';' || IsControl(unit)) {
      separatorOrControl = true;
    }
  }
  char16_t mark = 0;
  if (apostrophes != 0 || doubleQuote) {
    // Double quotes inside are never escaped: they only ever appear within single quotes.
    mark = u'\'';
  } else if (separatorOrControl || text.front() == u'=' || IsWhiteSpace(text.front()) || IsWhiteSpace(text.back())) {
    // Readers trim white space around a bare value and take a leading "=" for an escaped "=" of
    // the key, so such values are quoted to keep them whole.
    mark = u'"';
  }
  return {text, u'\'', mark, text.size() + apostrophes + (mark != 0 ? 2 : 0)};
}

// The pieces and values of a form are mostly a few units long: they are copied here, eight bytes
// at a time, rather than by a call into the C runtime for each.
char16_t* Write(std::u16string_view text, char16_t* out) {
  const char16_t* in = text.data();
  size_t left = text.size();
  if (left > 64) {
    Traits::copy(out, in, left);
    return out + left;
  }
  for (; left >= 4; left -= 4, in += 4, out += 4) std::memcpy(out, in, 4 * sizeof(char16_t));
  for (; left != 0; --left) *out++ = *in++;
  return out;
}

char16_t* Write(const EscapedValue& value, char16_t* out) {
  if (value.mark != 0) *out++ = value.mark;
  const char16_t* run = value.text.data();
  const char16_t* const end = run + value.text.size();
  for (size_t extra = value.length - value.text.size() - (value.mark != 0 ? 2 : 0); extra != 0; --extra) {
    const char16_t* doubled = Traits::find(run, static_cast<size_t>(end - run), value.doubled);
    out = Write(std::u16string_view(run, static_cast<size_t>(doubled + 1 - run)), out);
    *out++ = value.doubled;
    run = doubled + 1;
  }
  out = Write(std::u16string_view(run, static_cast<size_t>(end - run)), out);
  if (value.mark != 0) *out++ = value.mark;
  return out;
}

size_t FilledLength(const FormPieces& pieces, const EscapedValue* values) {
  size_t length = pieces.text[pieces.placeholders].size();
  for (size_t n = 0; n < pieces.placeholders; ++n) length += pieces.text[n].size() + values[n].length;
  return length;
}

void WriteFilled(const FormPieces& pieces, const EscapedValue* values, char16_t* out) {
  for (size_t n = 0; n < pieces.placeholders; ++n) out = Write(values[n], Write(pieces.text[n], out));
  Write(pieces.text[pieces.placeholders], out);
}

std::u16string Written(const EscapedValue& value) {
  std::u16string text(value.length, u'\0');
  Write(value, text.data());
  return text;
}

struct FormSpec {
  FormPieces pieces;
  EscapedValue (*escape)(std::u16string_view text);
  std::array<std::u16string ConnectionSettings::*, 5> fields;  // in placeholder order
};

using Settings = ConnectionSettings;

constexpr FormSpec kForms[] = {
    {SplitForm(u"driver={SQL Server};Server={%s};UID={%s};PWD={%s};Database={%s};Language={%s};"),
     &Braced,
     {&Settings::DataSource, &Settings::UID, &Settings::PassWord, &Settings::Catalog, &Settings::CurrentLanguage}},
    {SplitForm(u"Provider=SQLOLEDB;uid=%s;pwd=%s;server=%s;database=%s;Current Language=%s;"),
     &Quoted,
     {&Settings::UID, &Settings::PassWord, &Settings::DataSource, &Settings::Catalog, &Settings::CurrentLanguage}},
    {SplitForm(u"PROVIDER=SQLOLEDB;data source=%s;initial catalog=%s;user id=%s;password=%s;Current Language=%s;"),
     &Quoted,
     {&Settings::DataSource, &Settings::Catalog, &Settings::UID, &Settings::PassWord, &Settings::CurrentLanguage}},
};

std::u16string Written(const FormWriter& form) {
  std::u16string text(form.Length(), u'\0');
  form.WriteTo(text.data());
  return text;
}

}  // namespace

std::u16string BraceValue(std::u16string_view text) { return Written(Braced(text)); }

std::u16string QuoteValue(std::u16string_view text) { return Written(Quoted(text)); }

std::u16string FormatTemplate(std::u16string_view form, const std::array<std::u16string, 5>& values) {
  const FormPieces pieces = SplitForm(form);
  std::array<EscapedValue, 5> plain;
  for (size_t n = 0; n < values.size(); ++n) plain[n] = Unescaped(values[n]);
  std::u16string result(FilledLength(pieces, plain.data()), u'\0');
  WriteFilled(pieces, plain.data(), result.data());
  return result;
}

FormWriter::FormWriter(const ConnectionSettings& settings, FormKind kind)
    : pieces_(kForms[static_cast<size_t>(kind)].pieces) {
  const FormSpec& spec = kForms[static_cast<size_t>(kind)];
  for (size_t n = 0; n < values_.size(); ++n) values_[n] = spec.escape(settings.*spec.fields[n]);
  length_ = FilledLength(pieces_, values_.data());
}

void FormWriter::WriteTo(char16_t* out) const noexcept { WriteFilled(pieces_, values_.data(), out); }

std::u16string ConnectionSettings::ODBCString() const { return Written(FormWriter(*this, FormKind::kODBC)); }

std::u16string ConnectionSettings::OleDBString() const { return Written(FormWriter(*this, FormKind::kOleDB)); }

std::u16string ConnectionSettings::OleDBString2() const { return Written(FormWriter(*this, FormKind::kOleDB2)); }

}  // namespace pellmora
