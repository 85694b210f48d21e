#include "registrar/registry_key.h"

#include <cstring>

#include "support/scratch_buffer.h"

namespace pellmora {

namespace {
// A key name holds up to 255 characters: in a double-byte code page up to 510 bytes, in UTF-8 up to
// 765. A smaller buffer would stop the enumeration at such a name and leave its tree behind.
constexpr DWORD kEnumNameBytes = 1024;
}  // namespace

void RegistryKey::Hold(HKEY key, bool owned) noexcept {
  Close();
  key_ = key;
  owned_ = owned;
}

void RegistryKey::Borrow(HKEY key) noexcept { Hold(key, false); }

LONG RegistryKey::Open(HKEY parent, const char* subKey, REGSAM access) noexcept {
  HKEY opened = nullptr;
  const LONG code = RegOpenKeyExA(parent, subKey, 0, access, &opened);
  if (code == ERROR_SUCCESS) Hold(opened, true);
  return code;
}

LONG RegistryKey::Create(HKEY parent, const char* subKey) noexcept {
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LONG code = RegCreateKeyExA(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                    &created, &disposition);
  if (code == ERROR_SUCCESS) Hold(created, true);
  return code;
}

LONG RegistryKey::Close() noexcept {
  LONG code = ERROR_SUCCESS;
  if (key_ != nullptr && owned_) code = RegCloseKey(key_);
  key_ = nullptr;
  owned_ = false;
  return code;
}

LONG RegistryKey::WriteDword(const char* valueName, DWORD number) noexcept {
  return RegSetValueExA(key_, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

LONG RegistryKey::WriteText(const char* valueName, const char* text, DWORD type) noexcept {
  const auto size = static_cast<DWORD>(std::strlen(text) + 1);
  return RegSetValueExA(key_, valueName, 0, type, reinterpret_cast<const BYTE*>(text), size);
}

LONG RegistryKey::WriteMultiText(const char* valueName, const char* data) noexcept {
  size_t size = 0;
  for (;;) {
    const size_t item = std::strlen(data + size);
    size += item + 1;
    if (item == 0) break;
  }
  return RegSetValueExA(key_, valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data),
                        static_cast<DWORD>(size));
}

LONG RegistryKey::WriteBytes(const char* valueName, const BYTE* data, DWORD size) noexcept {
  return RegSetValueExA(key_, valueName, 0, REG_BINARY, data, size);
}

LONG RegistryKey::DeleteTree(const char* name) noexcept {
  // A tree deeper than the stack allows is refused before anything of it is deleted: the first
  // pass walks the whole tree as the second will, frame for frame, and only checks the stack.
  const LONG code = WalkTree(name, false);
  if (code == ERROR_STACK_OVERFLOW) return code;
  return WalkTree(name, true);
}

LONG RegistryKey::WalkTree(const char* name, bool deleting) noexcept {
  // The recursion follows the depth of the tree; refuse rather than overflow the stack.
  if (!StackHasRoom(kDeleteTreeLevelStack)) return ERROR_STACK_OVERFLOW;
  RegistryKey opened;
  LONG code = opened.Open(key_, name, deleting ? KEY_READ | KEY_WRITE : KEY_READ);
  // A key the check cannot open is one the deletion cannot open either: it goes no deeper there.
  if (code != ERROR_SUCCESS) return deleting ? code : ERROR_SUCCESS;
  char subKey[kEnumNameBytes];
  // Deleting asks for index 0 every time, since each pass removes the first subkey; checking
  // removes nothing and steps through the indexes.
  for (DWORD index = 0;;) {
    DWORD size = kEnumNameBytes;
    if (RegEnumKeyExA(opened.Get(), index, subKey, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    code = opened.WalkTree(subKey, deleting);
    if (code != ERROR_SUCCESS) return code;
    if (!deleting) ++index;
  }
  if (!deleting) return ERROR_SUCCESS;
  opened.Close();
  return RegDeleteKeyA(key_, name);
}

}  // namespace pellmora
