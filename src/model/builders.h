// The escaping steps and the template filler behind the three connection-string forms.
#pragma once

#include <array>
#include <string>

namespace pellmora {

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

}  // namespace pellmora
