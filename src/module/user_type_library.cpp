// The platform offers three ways to register a type library for one user, and none works on every
// system this library supports:
// - RegisterTypeLib with HKEY_CLASSES_ROOT overridden to the user's classes key. Windows XP and
//   Server 2003 honour the override, and so does Wine. Windows 7 and later (and Vista with the
//   update that adds OaEnablePerUserTLibRegistration) honour it only once the process has called
//   OaEnablePerUserTLibRegistration; without it they write the machine's keys.
// - RegisterTypeLibForUser, from Windows Vista on. Wine has it too, but writes the machine's keys
//   there, so it serves only where the override cannot: Vista without that update.
// Functions Windows XP lacks are looked up at run time, so the library still loads there.
#include "module/user_type_library.h"

#include "module/classes_root.h"
#include "registrar/registry_key.h"

namespace pellmora {

namespace {

using EnablePerUserRegistration = void(WINAPI*)();
using RegisterForUser = HRESULT(WINAPI*)(ITypeLib* library, OLECHAR* path, OLECHAR* helpDirectory);
using UnregisterForUser = HRESULT(WINAPI*)(REFGUID library, WORD major, WORD minor, LCID locale, SYSKIND kind);

// A function of the automation library, which this library imports and so is loaded; null when
// this system's copy does not have it.
template <class Function>
Function AutomationFunction(const char* name) noexcept {
  const HMODULE automation = GetModuleHandleW(L"oleaut32.dll");
  if (automation == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(automation, name)));
}

// Windows Vista (6.0) without the update: the override is ignored and only the ...ForUser
// functions write where they should. Later systems report a later version, whatever they
// report exactly, and all of them have OaEnablePerUserTLibRegistration.
bool OverrideIgnored(EnablePerUserRegistration enable) noexcept {
  if (enable != nullptr) return false;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetVersionExA(&version) && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
}

// Calls `body` with HKEY_CLASSES_ROOT overridden to `classes`, after allowing the override where
// the system needs that. The permission is process-wide and cannot be withdrawn; it only lets a
// later override of HKEY_CLASSES_ROOT take effect, and changes nothing while there is none.
template <class Body>
HRESULT WithClassesRootOverride(EnablePerUserRegistration enable, const ClassesKey& classes, Body&& body) noexcept {
  if (enable != nullptr) enable();
  ClassesRootOverride override(classes);
  if (FAILED(override.Result())) return override.Result();
  return body();
}

// The text form of `guid` ("{...}", ASCII); false when it cannot be had.
bool GuidText(REFGUID guid, char (&text)[40]) noexcept {
  WCHAR wide[40];
  if (StringFromGUID2(guid, wide, 40) == 0) return false;
  std::size_t i = 0;
  for (; wide[i] != 0; ++i) text[i] = static_cast<char>(wide[i]);
  text[i] = '\0';
  return true;
}

// 64-bit Wine registers each interface of a library in the 32-bit view of the classes key as
// well, and writes that copy into the machine's key whatever HKEY_CLASSES_ROOT is overridden to.
// The interface keys of that view which a registration for the user created are removed again;
// those that were there before belong to a registration of the machine and stay. Windows writes
// nothing there that the user cannot, so this finds nothing to do on Windows.
class MachineInterfaceLeaks {
 public:
  explicit MachineInterfaceLeaks(ITypeLib* library) noexcept {
#ifdef _WIN64
    if (interfaces_.Open(HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface", KEY_READ | KEY_WRITE | KEY_WOW64_32KEY) !=
        ERROR_SUCCESS) {
      return;
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count && absent_ < kMaxInterfaces; ++i) {
      TYPEKIND kind;
      if (FAILED(library->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH)) continue;
      ITypeInfo* info = nullptr;
      if (FAILED(library->GetTypeInfo(i, &info))) continue;
      TYPEATTR* attributes = nullptr;
      if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
        RegistryKey existing;
        if (GuidText(attributes->guid, names_[absent_]) &&
            existing.Open(interfaces_.Get(), names_[absent_], KEY_READ) == ERROR_FILE_NOT_FOUND) {
          ++absent_;
        }
        info->ReleaseTypeAttr(attributes);
      }
      info->Release();
    }
#else
    (void)library;
#endif
  }
  ~MachineInterfaceLeaks() {
    for (std::size_t i = 0; i < absent_; ++i) interfaces_.DeleteTree(names_[i]);
  }
  MachineInterfaceLeaks(const MachineInterfaceLeaks&) = delete;
  MachineInterfaceLeaks& operator=(const MachineInterfaceLeaks&) = delete;

 private:
  static constexpr std::size_t kMaxInterfaces = 8;
  RegistryKey interfaces_;
  char names_[kMaxInterfaces][40] = {};
  std::size_t absent_ = 0;
};

}  // namespace

HRESULT RegisterTypeLibraryForUser(ITypeLib* library, BSTR path, OLECHAR* helpDirectory,
                                   const ClassesKey& classes) noexcept {
  const auto enable = AutomationFunction<EnablePerUserRegistration>("OaEnablePerUserTLibRegistration");
  if (OverrideIgnored(enable)) {
    const auto registerForUser = AutomationFunction<RegisterForUser>("RegisterTypeLibForUser");
    if (registerForUser != nullptr) return registerForUser(library, path, helpDirectory);
  }
  MachineInterfaceLeaks leaks(library);
  return WithClassesRootOverride(enable, classes, [&] { return RegisterTypeLib(library, path, helpDirectory); });
}

HRESULT UnregisterTypeLibraryForUser(const TLIBATTR& attributes, const ClassesKey& classes) noexcept {
  const auto enable = AutomationFunction<EnablePerUserRegistration>("OaEnablePerUserTLibRegistration");
  if (OverrideIgnored(enable)) {
    const auto unregisterForUser = AutomationFunction<UnregisterForUser>("UnRegisterTypeLibForUser");
    if (unregisterForUser != nullptr) {
      return unregisterForUser(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum, attributes.lcid,
                               attributes.syskind);
    }
  }
  return WithClassesRootOverride(enable, classes, [&] {
    return UnRegisterTypeLib(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum, attributes.lcid,
                             attributes.syskind);
  });
}

bool IsTypeLibraryRegisteredIn(HKEY classes, const TLIBATTR& attributes) noexcept {
  char identifier[40];
  if (!GuidText(attributes.guid, identifier)) return true;  // cannot tell: assume it is
  // "TypeLib\{...}\major.minor", the version in hexadecimal as the platform writes it.
  char path[80] = "TypeLib\\";
  std::size_t length = 8;
  for (const char* unit = identifier; *unit != 0; ++unit) path[length++] = *unit;
  path[length++] = '\\';
  const auto appendHex = [&](unsigned value) {
    char digits[8];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % 16];
      value /= 16;
    } while (value != 0);
    while (count > 0) path[length++] = digits[--count];
  };
  appendHex(attributes.wMajorVerNum);
  path[length++] = '.';
  appendHex(attributes.wMinorVerNum);
  path[length] = '\0';
  RegistryKey key;
  return key.Open(classes, path, KEY_READ) != ERROR_FILE_NOT_FOUND;
}

}  // namespace pellmora
