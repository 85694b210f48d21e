// The walk: reads a script token by token and applies each entry to the registry at once, in
// the direction asked for. There is no plan built in advance, so a failure leaves the changes made
// before it; a failed registration of a root block is followed by an unregistration of that block.
#include <cstring>

#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "support/result_codes.h"
#include "support/scratch_buffer.h"

namespace pellmora {

namespace {

// Stack each nesting level keeps in reserve: a script nested deeper than the stack allows fails
// instead of overflowing it.
constexpr std::size_t kWalkStackReserve = 64 * 1024;
constexpr HRESULT kNestingTooDeep = ResultFromWin32(ERROR_STACK_OVERFLOW);

#define RETURN_IF_FAILED(expression)             \
  do {                                           \
    const HRESULT result_ = (expression);        \
    if (FAILED(result_)) return result_;         \
  } while (false)

// A key name is one path component: not empty, and no character that starts with a backslash
// (a trail byte 0x5C of a double-byte character is not one). An empty name would address the
// parent key itself, and a forced removal of it would delete the parent's whole tree.
bool IsKeyName(const char* token) {
  if (token[0] == '\0') return false;
  for (const char* c = token; *c != '\0'; c = CharNextA(c)) {
    if (*c == '\\') return false;
  }
  return true;
}

// The "{" that opens a key's block while registering is the whole token.
bool IsBlockOpening(const char* token) { return token[0] == '{' && token[1] == '\0'; }

}  // namespace

HRESULT ScriptParser::RunScript(const char* text, bool doRegister) noexcept {
  TaskText expanded;
  HRESULT result = ExpandReplacements(text, &expanded);
  if (FAILED(result)) return result;
  cursor_ = expanded.get();
  char token[kTokenCapacity];
  while (*cursor_ != '\0') {
    result = ReadToken(token);
    if (FAILED(result)) break;
    const HKEY root = FindRootKey(token);
    if (root == nullptr) {
      result = DISP_E_EXCEPTION;
      break;
    }
    result = ReadToken(token);
    if (FAILED(result)) break;
    if (token[0] != '{') {
      result = DISP_E_EXCEPTION;
      break;
    }
    const char* blockStart = cursor_;
    result = WalkBlock(token, root, doRegister, false);
    if (FAILED(result)) {
      if (doRegister) {
        // Undo what the failed block created, as far as unregistering can; its own result is
        // not the run's.
        cursor_ = blockStart;
        WalkBlock(token, root, false, false);
      }
      break;
    }
    SkipSpace();
  }
  cursor_ = nullptr;
  return result;
}

HRESULT ScriptParser::WalkBlock(char* token, HKEY parent, bool doRegister, bool skip) noexcept {
  if (!StackHasRoom(kWalkStackReserve)) return kNestingTooDeep;
  // The key of the latest key entry: stays open until the next key entry or the end of the block.
  RegistryKey current;
  RETURN_IF_FAILED(ReadToken(token));
  while (token[0] != '}') {
    RETURN_IF_FAILED(WalkEntry(token, parent, current, doRegister, skip));
  }
  return S_OK;
}

// One entry of a block, entered with its first token in `token` and left with the token after it.
HRESULT ScriptParser::WalkEntry(char* token, HKEY parent, RegistryKey& current, bool doRegister,
                                bool skip) noexcept {
  const bool isDelete = IsKeyword(token, "Delete");
  if (isDelete || IsKeyword(token, "ForceRemove")) {
    RETURN_IF_FAILED(ReadToken(token));
    if (doRegister) {
      if (!IsKeyName(token)) return DISP_E_EXCEPTION;
      if (IsRemovable(token)) {
        RegistryKey under;
        under.Borrow(parent);
        under.DeleteTree(token);  // a key that is not there, or cannot go, is no error
      }
      if (isDelete) {
        RETURN_IF_FAILED(ReadToken(token));
        RETURN_IF_FAILED(SkipValue(token));
        // A deleted key has no block to apply.
        return IsBlockOpening(token) ? DISP_E_EXCEPTION : S_OK;
      }
    }
  }
  bool removable = true;
  if (IsKeyword(token, "NoRemove")) {
    removable = false;
    RETURN_IF_FAILED(ReadToken(token));
  }
  if (IsKeyword(token, "Val")) return WalkValueEntry(token, parent, doRegister, skip, removable);
  if (!IsKeyName(token)) return DISP_E_EXCEPTION;
  if (!doRegister) return UnregisterKeyEntry(token, parent, current, skip, removable);

  LONG code = current.Open(parent, token, KEY_READ | KEY_WRITE);
  if (code != ERROR_SUCCESS) code = current.Open(parent, token, KEY_READ);
  if (code != ERROR_SUCCESS) {
    code = current.Create(parent, token);
    if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  }
  RETURN_IF_FAILED(ReadToken(token));
  if (token[0] == '=') RETURN_IF_FAILED(WriteValue(current.Get(), nullptr, token));
  if (IsBlockOpening(token)) {
    RETURN_IF_FAILED(WalkBlock(token, current.Get(), true, false));
    RETURN_IF_FAILED(ReadToken(token));
  }
  return S_OK;
}

// "Val" name "=" letter value: a named value of the block's own key (`parent`).
HRESULT ScriptParser::WalkValueEntry(char* token, HKEY parent, bool doRegister, bool skip,
                                     bool removable) noexcept {
  RETURN_IF_FAILED(ReadToken(token));
  const std::size_t length = std::strlen(token);
  if (length >= kValueNameCapacity) return DISP_E_EXCEPTION;  // never cut to another name
  char valueName[kValueNameCapacity];
  std::memcpy(valueName, token, length + 1);
  RETURN_IF_FAILED(ReadToken(token));
  if (token[0] != '=') return DISP_E_EXCEPTION;
  if (doRegister) {
    RETURN_IF_FAILED(WriteValue(parent, valueName, token));
    // A value has no block to apply.
    return IsBlockOpening(token) ? DISP_E_EXCEPTION : S_OK;
  }
  if (!skip && removable) {
    RegistryKey writable;
    LONG code = writable.Open(parent, nullptr, KEY_WRITE);
    if (code != ERROR_SUCCESS) return ResultFromWin32(code);
    code = RegDeleteValueA(writable.Get(), valueName);
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) return ResultFromWin32(code);
  }
  return SkipValue(token);
}

// Unregistering a key entry: walks its block first, then deletes the key itself unless it is
// marked "NoRemove". A key that cannot be opened has its block read through in skip mode, where
// nothing is opened or deleted.
HRESULT ScriptParser::UnregisterKeyEntry(char* token, HKEY parent, RegistryKey& current, bool skip,
                                         bool removable) noexcept {
  LONG code = ERROR_FILE_NOT_FOUND;
  if (!skip) {
    code = current.Open(parent, token, KEY_READ);
    if (code != ERROR_SUCCESS) skip = true;
  }
  // The whole name, so the key deleted is always the key that was opened.
  char name[kTokenCapacity];
  std::memcpy(name, token, std::strlen(token) + 1);
  RETURN_IF_FAILED(ReadToken(token));
  RETURN_IF_FAILED(SkipValue(token));  // the default value goes with the key
  if (token[0] == '{') {
    const HRESULT inner = WalkBlock(token, skip ? nullptr : current.Get(), false, skip);
    // Failures inside a skipped block are ignored, except running out of stack: reading on from
    // an unfinished nested block would take its entries for entries of this one.
    if (FAILED(inner) && (!skip || inner == kNestingTooDeep)) return inner;
    RETURN_IF_FAILED(ReadToken(token));
  }
  if (code == ERROR_FILE_NOT_FOUND) return S_OK;
  if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  code = current.Close();
  if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  if (removable) {
    code = RegDeleteKeyA(parent, name);
    if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  }
  return S_OK;
}

}  // namespace pellmora
