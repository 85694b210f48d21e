// The escaping steps and the template filler behind the three connection-string forms.
#pragma once

#include <array>
#include <string>

namespace pellmora {

class ConnectionSettings;

// ODBC escaping: every "}" doubled; the template supplies the enclosing braces.
std::u16string BraceValue(std::u16string_view text);

// OLE DB quoting: a value holding a single or double quote is enclosed in single quotes with each
// single quote doubled; otherwise one holding ";" or a control character, beginning with "=", or
// beginning or ending with white space (Unicode's) is enclosed in double quotes; otherwise it goes
// in bare. The empty value stays empty.
std::u16string QuoteValue(std::u16string_view text);

// Replaces the n-th "%s" of `form` by the n-th value, left to right. Values are data, never read
// as directives. No length limit.
std::u16string FormatTemplate(std::u16string_view form, const std::array<std::u16string, 5>& values);

enum class FormKind { kODBC, kOleDB, kOleDB2 };

// A template cut at its first five "%s": the text before each placeholder and the rest after
// the last one found.
struct FormPieces {
  std::array<std::u16string_view, 6> text{};
  size_t placeholders = 0;
};

// One value as it goes into its placeholder: the text, whether its "}" are doubled or its "'"
// are (quoting doubles them), the mark around it (0 for none) and the units it takes in all.
struct EscapedValue {
  std::u16string_view text;
  char16_t doubled = 0;
  char16_t mark = 0;
  size_t length = 0;
};

// A form of a record measured before it is written, so that it can be built straight into
// storage of exactly its length. It reads the record's fields where they are: write it before
// the record changes.
class FormWriter {
 public:
  FormWriter(const ConnectionSettings& settings, FormKind kind);
  size_t Length() const noexcept { return length_; }
  // Writes exactly Length() units to `out`, without a terminator.
  void WriteTo(char16_t* out) const noexcept;

 private:
  const FormPieces& pieces_;
  std::array<EscapedValue, 5> values_;
  size_t length_;
};

}  // namespace pellmora
