// A registry key handle holder: owns the handles it opened and closes them when replaced or
// discarded; can also borrow a handle it must not close (a root key, a parent key).
#pragma once

#include <cstddef>

#include "support/platform.h"

namespace pellmora {

// The stack DeleteTree needs left at each level of the tree it removes: its frame and the registry
// calls beneath it. With less it goes no deeper and returns ERROR_STACK_OVERFLOW.
constexpr std::size_t kDeleteTreeLevelStack = 16 * 1024;

class RegistryKey {
 public:
  RegistryKey() noexcept = default;
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Holds `key` without owning it (closes what was held before).
  void Borrow(HKEY key) noexcept;
  HKEY Get() const noexcept { return key_; }

  // Each returns a Win32 error code, 0 on success.
  // Opens `subKey` (null: the key itself) under `parent`; on success holds the new handle.
  LONG Open(HKEY parent, const char* subKey, REGSAM access) noexcept;
  // Creates or opens `subKey` under `parent` for reading and writing; on success holds it.
  LONG Create(HKEY parent, const char* subKey) noexcept;
  // Closes an owned handle, forgets a borrowed one; 0 when nothing was held.
  LONG Close() noexcept;

  // Value writers; a null name is the key's default value.
  LONG WriteDword(const char* valueName, DWORD number) noexcept;
  // The text's bytes and its terminating NUL, as `type`.
  LONG WriteText(const char* valueName, const char* text, DWORD type) noexcept;
  // REG_MULTI_SZ: the items up to and including the first empty one.
  LONG WriteMultiText(const char* valueName, const char* data) noexcept;
  LONG WriteBytes(const char* valueName, const BYTE* data, DWORD size) noexcept;

  // Deletes the subkey `name` of the held key with everything below it. ERROR_STACK_OVERFLOW when
  // the stack is too short for the tree's depth (see kDeleteTreeLevelStack); the tree is then
  // left whole.
  LONG DeleteTree(const char* name) noexcept;

 private:
  // One level of DeleteTree: deletes the subtree, or with `deleting` false only checks that the
  // stack holds it, which ignores keys it cannot open and reports only ERROR_STACK_OVERFLOW.
  LONG WalkTree(const char* name, bool deleting) noexcept;
  void Hold(HKEY key, bool owned) noexcept;

  HKEY key_ = nullptr;
  bool owned_ = false;
};

}  // namespace pellmora
