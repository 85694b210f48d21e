// The walk: reads a script token by token and applies each entry to the registry at once, in
// the direction asked for. There is no plan built in advance, so a failure leaves the changes made
// before it; a failed registration of a root block is followed by a roll-back of that block.
//
// Stack: WalkBlock is the only recursive frame, one per nesting level, in every mode, so a script
// that registers on a thread also unregisters and rolls back there. Everything with large buffers
// (entry heads, values, the lexer) runs in frames of its own that are gone before the walk goes one
// level deeper. The block of a key that is absent is read through without recursion.
#include <cstring>
#include <memory>
#include <new>

#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"
#include "registrar/script_tables.h"
#include "support/result_codes.h"
#include "support/scratch_buffer.h"

#if defined(__GNUC__) || defined(__clang__)
#define PELLMORA_NOINLINE __attribute__((noinline))
#else
#define PELLMORA_NOINLINE
#endif

namespace pellmora {

namespace {

// The stack one nesting level takes: the frame of WalkBlock, 112 bytes on the 32-bit build and
// 192 on the 64-bit one (gcc -O2 -fstack-usage), with room to spare for other compilers and for
// the sanitizers' larger frames.
constexpr std::size_t kWalkLevelBytes = 512;
// The stack the work below one level needs at most, one budget for all of it: the walk's own
// frames there (an entry head and the value writer with its 4 KiB token buffer: 4.9 KiB on the
// 32-bit build, 5.1 KiB on the 64-bit one) with the registry call beneath them, which take 12 KiB;
// and a forced removal, which needs the first level of DeleteTree's budget below the entry head's
// frame (2 KiB covers that frame and DeleteTree's own). So a removal is never refused where the
// walk went on; only an old tree deeper than the stack allows is, and that fails the walk.
constexpr std::size_t kWalkLeafBytes = kDeleteTreeLevelStack + 2 * 1024;
constexpr HRESULT kNestingTooDeep = ResultFromWin32(ERROR_STACK_OVERFLOW);

#define RETURN_IF_FAILED(expression) \
  do { \
    const HRESULT result_ = (expression); \
    if (FAILED(result_)) return result_; \
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

// What the head of an entry (keywords, name, default value) leaves for its block and its end.
struct ScriptParser::EntryHead {
  // A block may follow: a key entry, except one that registering deletes.
  bool takesBlock = false;
  // Unregistering or rolling back a key entry: the key is dealt with after its block.
  bool unregistersKey = false;
  // The outcome of opening that key; its block is walked only when it opened.
  LONG openCode = ERROR_FILE_NOT_FOUND;
  // The name to delete the key by, kept when the key opened and is not marked "NoRemove".
  std::unique_ptr<char[]> name;
};

HRESULT ScriptParser::RunScript(const char* text, bool doRegister) noexcept {
  TaskText expanded;
  HRESULT result = ExpandReplacements(text, &expanded);
  if (FAILED(result)) return result;
  cursor_ = expanded.get();
  char token[kTokenCapacity];
  while (*cursor_ != '\0') {
    result = ReadToken(token);
    if (FAILED(result)) break;
    const HKEY root = registrar_.MapRootKey(FindRootKey(token));
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
    result = WalkBlock(token, root, doRegister ? WalkMode::Register : WalkMode::Unregister);
    if (FAILED(result)) {
      if (doRegister) {
        // Undo what the failed block created, as far as unregistering can. The run reports the
        // registration's failure, unless the roll-back ran out of stack and so left entries of
        // the block behind that it would have removed.
        cursor_ = blockStart;
        if (WalkBlock(token, root, WalkMode::RollBack) == kNestingTooDeep) result = kNestingTooDeep;
      }
      break;
    }
    SkipSpace();
  }
  cursor_ = nullptr;
  return result;
}

// One block whose key is open (`parent`), entered with its "{" read and left with its "}".
HRESULT ScriptParser::WalkBlock(char* token, HKEY parent, WalkMode mode) noexcept {
  // Registering keeps one level more in reserve: the key whose block it had no room to enter is
  // created already, and the roll-back must be able to enter that block to delete the key.
  const std::size_t reserve = kWalkLevelBytes + kWalkLeafBytes + (mode == WalkMode::Register ? kWalkLevelBytes : 0);
  if (!StackHasRoom(reserve)) return kNestingTooDeep;
  // The key of the latest key entry: stays open until the next key entry or the end of the block.
  RegistryKey current;
  RETURN_IF_FAILED(ReadToken(token));
  while (token[0] != '}') {
    EntryHead head;
    RETURN_IF_FAILED(ReadEntryHead(token, parent, current, mode, false, head));
    if (head.takesBlock && (mode == WalkMode::Unregister ? token[0] == '{' : IsBlockOpening(token))) {
      if (mode == WalkMode::Register || head.openCode == ERROR_SUCCESS) {
        RETURN_IF_FAILED(WalkBlock(token, current.Get(), mode));
      } else {
        RETURN_IF_FAILED(SkipBlock(token, mode));
      }
      RETURN_IF_FAILED(ReadToken(token));
    }
    if (!head.unregistersKey || head.openCode == ERROR_FILE_NOT_FOUND) continue;
    if (head.openCode != ERROR_SUCCESS) return ResultFromWin32(head.openCode);
    LONG code = current.Close();
    if (code != ERROR_SUCCESS) return ResultFromWin32(code);
    if (head.name != nullptr) {
      code = RegDeleteKeyA(parent, head.name.get());
      if (code != ERROR_SUCCESS) return ResultFromWin32(code);
    }
  }
  return S_OK;
}

// The block of a key that could not be opened, read through without touching the registry and
// without recursion: nothing below it is opened, so nothing needs a frame of its own. A syntax
// error ends the walk here as anywhere else, since reading on would take the rest of the text
// for entries of the wrong blocks.
HRESULT ScriptParser::SkipBlock(char* token, WalkMode mode) noexcept {
  std::size_t depth = 1;
  RegistryKey none;
  RETURN_IF_FAILED(ReadToken(token));
  for (;;) {
    if (token[0] == '}') {
      if (--depth == 0) return S_OK;
      RETURN_IF_FAILED(ReadToken(token));
      continue;
    }
    EntryHead head;
    RETURN_IF_FAILED(ReadEntryHead(token, nullptr, none, mode, true, head));
    if (head.takesBlock && (mode == WalkMode::Unregister ? token[0] == '{' : IsBlockOpening(token))) {
      ++depth;
      RETURN_IF_FAILED(ReadToken(token));
    }
  }
}

// The head of one entry: its keywords, its name and its value, entered with the entry's first
// token and left with the token after the head. With `skip`, the registry is not touched.
PELLMORA_NOINLINE HRESULT ScriptParser::ReadEntryHead(char* token, HKEY parent, RegistryKey& current, WalkMode mode,
                                                      bool skip, EntryHead& head) noexcept {
  const bool isDelete = IsKeyword(token, "Delete");
  if (isDelete || IsKeyword(token, "ForceRemove")) {
    RETURN_IF_FAILED(ReadToken(token));
    if (mode == WalkMode::Register) {
      if (!IsKeyName(token)) return DISP_E_EXCEPTION;
      if (IsRemovable(token)) {
        RegistryKey under;
        under.Borrow(parent);
        // A key that is not there, or cannot go, is no error; one the stack is too short to
        // remove is: going on would report success with the old tree in place.
        if (under.DeleteTree(token) == ERROR_STACK_OVERFLOW) return kNestingTooDeep;
      }
      if (isDelete) {
        // A deleted key is not created: its assignment is read and ignored, and it has no block.
        RETURN_IF_FAILED(ReadToken(token));
        RETURN_IF_FAILED(SkipValue(token));
        return IsBlockOpening(token) ? DISP_E_EXCEPTION : S_OK;
      }
    } else if (isDelete && mode == WalkMode::RollBack) {
      // Read as the registration read it: the token after "Delete" is a key name, never a
      // keyword, and no block follows. The key goes as a plain key entry's would.
      if (!IsKeyName(token)) return DISP_E_EXCEPTION;
      RETURN_IF_FAILED(KeyEntryHead(token, parent, current, mode, skip, true, head));
      head.takesBlock = false;
      return IsBlockOpening(token) ? DISP_E_EXCEPTION : S_OK;
    }
  }
  bool removable = true;
  if (IsKeyword(token, "NoRemove")) {
    removable = false;
    RETURN_IF_FAILED(ReadToken(token));
  }
  if (IsKeyword(token, "Val")) return ValueEntry(token, parent, mode, skip, removable);
  if (!IsKeyName(token)) return DISP_E_EXCEPTION;
  return KeyEntryHead(token, parent, current, mode, skip, removable, head);
}

// A key entry's name (in `token`) and its default value.
PELLMORA_NOINLINE HRESULT ScriptParser::KeyEntryHead(char* token, HKEY parent, RegistryKey& current, WalkMode mode,
                                                     bool skip, bool removable, EntryHead& head) noexcept {
  head.takesBlock = true;
  if (mode == WalkMode::Register) {
    LONG code = current.Open(parent, token, KEY_READ | KEY_WRITE);
    if (code != ERROR_SUCCESS) code = current.Open(parent, token, KEY_READ);
    if (code != ERROR_SUCCESS) {
      code = current.Create(parent, token);
      if (code != ERROR_SUCCESS) return ResultFromWin32(code);
    }
    RETURN_IF_FAILED(ReadToken(token));
    if (token[0] == '=') RETURN_IF_FAILED(WriteValue(current.Get(), nullptr, token));
    return S_OK;
  }
  head.unregistersKey = true;
  if (!skip) head.openCode = current.Open(parent, token, KEY_READ);
  if (head.openCode == ERROR_SUCCESS && removable) {
    // The whole name: the key deleted is always the key that was opened.
    const std::size_t bytes = std::strlen(token) + 1;
    head.name.reset(new (std::nothrow) char[bytes]);
    if (head.name == nullptr) return E_OUTOFMEMORY;
    std::memcpy(head.name.get(), token, bytes);
  }
  RETURN_IF_FAILED(ReadToken(token));
  return SkipValue(token);  // the default value goes with the key
}

// "Val" name "=" letter value: a named value of the block's own key (`parent`). No block follows.
PELLMORA_NOINLINE HRESULT ScriptParser::ValueEntry(char* token, HKEY parent, WalkMode mode, bool skip,
                                                   bool removable) noexcept {
  RETURN_IF_FAILED(ReadToken(token));
  const std::size_t length = std::strlen(token);
  if (length >= kValueNameCapacity) return DISP_E_EXCEPTION;  // never cut to another name
  char valueName[kValueNameCapacity];
  std::memcpy(valueName, token, length + 1);
  RETURN_IF_FAILED(ReadToken(token));
  if (token[0] != '=') return DISP_E_EXCEPTION;
  if (mode == WalkMode::Register) {
    RETURN_IF_FAILED(WriteValue(parent, valueName, token));
  } else {
    if (!skip && removable) {
      RegistryKey writable;
      LONG code = writable.Open(parent, nullptr, KEY_WRITE);
      if (code != ERROR_SUCCESS) return ResultFromWin32(code);
      code = RegDeleteValueA(writable.Get(), valueName);
      if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) return ResultFromWin32(code);
    }
    RETURN_IF_FAILED(SkipValue(token));
  }
  // Unregistering reads a "{" here as the name of the next key; registering, and so rolling back,
  // refuses it.
  return mode != WalkMode::Unregister && IsBlockOpening(token) ? DISP_E_EXCEPTION : S_OK;
}

}  // namespace pellmora
