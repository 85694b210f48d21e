// The lexer: tokens are copied out of the expanded text one at a time, stepping by whole
// characters of the ANSI code page so a double-byte character is never split.
#include <cstring>

#include "registrar/script_parser.h"

namespace pellmora {

namespace {

bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// Appends the character at `*cursor` (one or two bytes) to `token` and moves past it. False, with
// nothing copied, when the token would outgrow its buffer.
bool CopyCharacter(const char*& cursor, char* token, std::size_t& used) {
  if (used + 2 >= kTokenCapacity) return false;
  const char* next = CharNextA(cursor);
  const auto bytes = static_cast<std::size_t>(next - cursor);
  std::memcpy(token + used, cursor, bytes);
  used += bytes;
  cursor = next;
  return true;
}

}  // namespace

void ScriptParser::SkipSpace() noexcept {
  while (IsSpace(*cursor_)) cursor_ = CharNextA(cursor_);
}

HRESULT ScriptParser::ReadToken(char* token) noexcept {
  token[0] = '\0';
  SkipSpace();
  if (*cursor_ == '\0') return DISP_E_EXCEPTION;
  std::size_t used = 0;
  HRESULT result = S_OK;
  if (*cursor_ == '\'') {
    ++cursor_;
    for (;;) {
      if (*cursor_ == '\0') {
        result = DISP_E_EXCEPTION;  // no closing apostrophe
        break;
      }
      if (*cursor_ == '\'') {
        if (cursor_[1] != '\'') {
          ++cursor_;
          break;
        }
        if (used + 2 >= kTokenCapacity) {
          result = DISP_E_EXCEPTION;
          break;
        }
        token[used++] = '\'';
        cursor_ += 2;
        continue;
      }
      if (!CopyCharacter(cursor_, token, used)) {
        result = DISP_E_EXCEPTION;
        break;
      }
    }
  } else {
    while (*cursor_ != '\0' && !IsSpace(*cursor_)) {
      if (!CopyCharacter(cursor_, token, used)) {
        result = DISP_E_EXCEPTION;
        break;
      }
    }
  }
  token[used] = '\0';
  return result;
}

HRESULT ScriptParser::SkipValue(char* token) noexcept {
  if (token[0] != '=') return S_OK;
  HRESULT result = ReadToken(token);  // the type letter, not checked here
  if (FAILED(result)) return result;
  SkipSpace();
  char value[kTokenCapacity];
  result = ReadToken(value);
  if (FAILED(result)) return result;
  return ReadToken(token);
}

}  // namespace pellmora
