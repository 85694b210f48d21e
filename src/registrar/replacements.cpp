// The replacement pass: runs over the raw script text before anything reads tokens, so names
// between percent signs are replaced inside quotes too.
#include <cstring>
#include <string>

#include "registrar/narrow_copy.h"
#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"
#include "support/result_codes.h"
#include "support/scratch_buffer.h"

namespace pellmora {

HRESULT ScriptParser::ExpandReplacements(const char* text, TaskText* expanded) const noexcept {
  if (text == nullptr || expanded == nullptr) return E_POINTER;
  expanded->reset();
  ExpansionBuffer buffer;
  HRESULT result = buffer.Allocate(std::strlen(text));
  if (FAILED(result)) return result;

  const char* cursor = text;
  while (*cursor != '\0') {
    if (*cursor != '%') {
      const char* next = CharNextA(cursor);
      result = buffer.Append(cursor, static_cast<std::size_t>(next - cursor));
      cursor = next;
    } else if (cursor[1] == '%') {
      result = buffer.Append("%", 1);
      cursor += 2;
    } else {
      const char* name = cursor + 1;
      const char* end = name;
      while (*end != '\0' && *end != '%') end = CharNextA(end);
      if (*end == '\0') return DISP_E_EXCEPTION;  // no closing "%"
      const auto length = static_cast<std::size_t>(end - name);
      if (length >= kReplacementNameCapacity) return E_FAIL;
      char key[kReplacementNameCapacity];
      std::memcpy(key, name, length);
      key[length] = '\0';
      result = AppendReplacement(key, buffer);
      cursor = end + 1;
    }
    if (FAILED(result)) return result;
  }
  *expanded = buffer.Release();
  return S_OK;
}

// Appends the value of replacement `name` in the ANSI code page. A value that the code page cannot
// represent fails the pass rather than leaving a broken path in the registry.
HRESULT ScriptParser::AppendReplacement(const char* name, ExpansionBuffer& buffer) const noexcept {
  const char16_t* value = registrar_.FindReplacement(name);
  if (value == nullptr) return DISP_E_EXCEPTION;
  ScratchBuffer scratch;
  char* narrow = nullptr;
  const HRESULT result = NarrowCopy(value, scratch, true, &narrow);
  if (FAILED(result)) return result;
  return buffer.Append(narrow, std::strlen(narrow));
}

}  // namespace pellmora
