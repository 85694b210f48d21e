#include "module/classes_root.h"

#include "support/result_codes.h"

namespace pellmora {

LONG ClassesKey::Open(RegistrationScope scope, bool registering, CRITICAL_SECTION* overrideLock) noexcept {
  scope_ = scope;
  overrideLock_ = overrideLock;
  // Relative to the predefined key, so that a host which overrides HKEY_LOCAL_MACHINE or
  // HKEY_CURRENT_USER to capture a registration still captures this one.
  const HKEY root = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const char* const path = "Software\\Classes";
  LONG code = key_.Open(root, path, KEY_READ | KEY_WRITE);
  if (code != ERROR_SUCCESS) code = key_.Open(root, path, KEY_READ);
  if (code != ERROR_SUCCESS && registering && scope == RegistrationScope::User) code = key_.Create(root, path);
  return code;
}

ClassesRootOverride::ClassesRootOverride(const ClassesKey& classes) noexcept : mutex_(classes.OverrideLock()) {
  if (mutex_ != nullptr) EnterCriticalSection(mutex_);
  result_ = ResultFromWin32(static_cast<uint32_t>(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.Get())));
}

ClassesRootOverride::~ClassesRootOverride() {
  // Null gives HKEY_CLASSES_ROOT back its default meaning.
  if (SUCCEEDED(result_)) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  if (mutex_ != nullptr) LeaveCriticalSection(mutex_);
}

}  // namespace pellmora
