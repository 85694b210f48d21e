// One run of a registration script: the replacement pass, the lexer that reads tokens from the
// expanded text in place, and the walk that applies the script to the registry as it reads it.
#pragma once

#include <cstddef>

#include "registrar/expansion_buffer.h"
#include "registrar/registry_key.h"
#include "support/platform.h"

namespace pellmora {

class ScriptRegistrar;

// How the walk reads a script and what it does to the registry. A roll-back deletes as
// unregistering does, but reads the text exactly as the registration it undoes read it, so that it
// acts on the keys at the places where the registration named them.
enum class WalkMode { Register, Unregister, RollBack };

// Every token is read into a buffer of this many bytes and NUL-terminated.
constexpr std::size_t kTokenCapacity = 4096;
// A value name holds at most 259 bytes and its NUL.
constexpr std::size_t kValueNameCapacity = 260;
// A replacement name holds at most 31 bytes and its NUL.
constexpr std::size_t kReplacementNameCapacity = 32;

class ScriptParser {
 public:
  // `registrar` answers the replacement names of the script.
  explicit ScriptParser(const ScriptRegistrar& registrar) noexcept : registrar_(registrar) {}
  ScriptParser(const ScriptParser&) = delete;
  ScriptParser& operator=(const ScriptParser&) = delete;

  // Expands `text` and applies it to the registry, registering or unregistering. A registration
  // that fails inside a root block unregisters that block again and returns the first failure.
  HRESULT RunScript(const char* text, bool doRegister) noexcept;

  // The replacement pass: copies `text` into new task memory with every "%name%" replaced by its
  // value and "%%" by "%". On success `*expanded` owns the result.
  HRESULT ExpandReplacements(const char* text, TaskText* expanded) const noexcept;

  // The lexer, over the text at the cursor.
  void SetCursor(const char* text) noexcept { cursor_ = text; }
  const char* Cursor() const noexcept { return cursor_; }
  // Moves past TAB, LF, CR and SPACE.
  void SkipSpace() noexcept;
  // Reads the next token into `token` (kTokenCapacity bytes): a quoted one without its quotes
  // and with doubled apostrophes made single, else everything up to the next white space.
  // DISP_E_EXCEPTION at the end of the text, for an unclosed quote or a token too long.
  HRESULT ReadToken(char* token) noexcept;
  // When `token` begins with "=", reads past the type letter and the value and reads the token
  // after them into `token`; otherwise does nothing.
  HRESULT SkipValue(char* token) noexcept;

 private:
  struct EntryHead;
  HRESULT WalkBlock(char* token, HKEY parent, WalkMode mode) noexcept;
  HRESULT SkipBlock(char* token, WalkMode mode) noexcept;
  HRESULT ReadEntryHead(char* token, HKEY parent, RegistryKey& current, WalkMode mode, bool skip,
                        EntryHead& head) noexcept;
  HRESULT ValueEntry(char* token, HKEY parent, WalkMode mode, bool skip, bool removable) noexcept;
  HRESULT KeyEntryHead(char* token, HKEY parent, RegistryKey& current, WalkMode mode, bool skip, bool removable,
                       EntryHead& head) noexcept;
  HRESULT WriteValue(HKEY key, const char* valueName, char* token) noexcept;
  HRESULT AppendReplacement(const char* name, ExpansionBuffer& buffer) const noexcept;

  const char* cursor_ = nullptr;
  const ScriptRegistrar& registrar_;
};

}  // namespace pellmora
