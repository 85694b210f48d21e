#include "registrar/script_tables.h"

namespace pellmora {

namespace {

struct RootKeyName {
  const char* name;
  LONG handleValue;  // the predefined handle, as the sign-extended 32-bit value it is defined as
};

constexpr RootKeyName RootKeyTable[] = {
    {"HKCR", static_cast<LONG>(0x80000000u)},
    {"HKCU", static_cast<LONG>(0x80000001u)},
    {"HKLM", static_cast<LONG>(0x80000002u)},
    {"HKU", static_cast<LONG>(0x80000003u)},
    {"HKPD", static_cast<LONG>(0x80000004u)},
    {"HKDD", static_cast<LONG>(0x80000006u)},
    {"HKCC", static_cast<LONG>(0x80000005u)},
    {"HKEY_CLASSES_ROOT", static_cast<LONG>(0x80000000u)},
    {"HKEY_CURRENT_USER", static_cast<LONG>(0x80000001u)},
    {"HKEY_LOCAL_MACHINE", static_cast<LONG>(0x80000002u)},
    {"HKEY_USERS", static_cast<LONG>(0x80000003u)},
    {"HKEY_PERFORMANCE_DATA", static_cast<LONG>(0x80000004u)},
    {"HKEY_DYN_DATA", static_cast<LONG>(0x80000006u)},
    {"HKEY_CURRENT_CONFIG", static_cast<LONG>(0x80000005u)},
};

constexpr ValueType ValueTypeTable[] = {
    {"S", ValueKind::Text, VT_BSTR, REG_SZ},
    {"M", ValueKind::MultiText, VT_BYREF | VT_BSTR, REG_MULTI_SZ},
    {"D", ValueKind::Number, VT_UI4, REG_DWORD},
    {"B", ValueKind::Bytes, VT_UI1, REG_BINARY},
};

constexpr const char* ProtectedKeyNames[] = {
    "AppID",    "CLSID",     "Component Categories",
    "FileType", "Interface", "Hardware",
    "Mime",     "SAM",       "SECURITY",
    "SYSTEM",   "Software",  "TypeLib",
};

}  // namespace

HKEY FindRootKey(const char* token) noexcept {
  for (const auto& row : RootKeyTable) {
    if (lstrcmpiA(token, row.name) == 0) return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(row.handleValue));
  }
  return nullptr;
}

const ValueType* FindValueType(const char* token) noexcept {
  for (const auto& row : ValueTypeTable) {
    if (lstrcmpiA(token, row.letter) == 0) return &row;
  }
  return nullptr;
}

bool IsKeyword(const char* token, const char* keyword) noexcept { return lstrcmpiA(token, keyword) == 0; }

bool IsRemovable(const char* keyName) noexcept {
  for (const char* name : ProtectedKeyNames) {
    if (lstrcmpiA(keyName, name) == 0) return false;
  }
  return true;
}

}  // namespace pellmora
