// The fixed tables of the script language: root-key names, value type letters, keywords, and the
// key names that a forced removal never deletes.
#pragma once

#include "support/platform.h"

namespace pellmora {

// The predefined root key named by the whole `token` ("HKCR", "HKEY_CLASSES_ROOT", ... in any
// case), or null when the token names none.
HKEY FindRootKey(const char* token) noexcept;

enum class ValueKind { Text, MultiText, Number, Bytes };

struct ValueType {
  const char* letter;
  ValueKind kind;
  VARTYPE tag;         // the automation variant type the kind corresponds to
  DWORD registryType;  // REG_* written for it
};

// The value type whose letter is the whole `token` (any case), or null.
const ValueType* FindValueType(const char* token) noexcept;

// True when the whole `token` is `keyword`, compared without regard to case.
bool IsKeyword(const char* token, const char* keyword) noexcept;

// False for the key names a forced removal must never delete ("CLSID", "Software", ...; any case).
bool IsRemovable(const char* keyName) noexcept;

}  // namespace pellmora
