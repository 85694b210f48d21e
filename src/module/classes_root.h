// Where a registration writes what the scripts name under HKEY_CLASSES_ROOT: the machine's or one
// user's classes key, opened explicitly. Through HKEY_CLASSES_ROOT itself Windows merges the two
// (a key that exists in the user's copy takes the writes and deletions meant for the machine's),
// so each kind of registration could change or remove the other's entries.
#pragma once

#include "registrar/registry_key.h"
#include "support/platform.h"

namespace pellmora {

enum class RegistrationScope {
  Machine,  // HKEY_LOCAL_MACHINE\Software\Classes: regsvr32, DllRegisterServer
  User,     // HKEY_CURRENT_USER\Software\Classes: regsvr32 /n /i:user, DllInstall
};

// The classes key of one scope, open for the length of one registration.
class ClassesKey {
 public:
  ClassesKey() noexcept = default;
  ClassesKey(const ClassesKey&) = delete;
  ClassesKey& operator=(const ClassesKey&) = delete;

  // Opens the key for reading and writing, else for reading (a registration then fails at its
  // first write, an unregistration of nothing still succeeds). Registering a user creates the
  // key when the profile lacks it. `overrideLock` (may be null) is the mutex an override of
  // HKEY_CLASSES_ROOT to this key holds. A Win32 code, 0 on success; ERROR_FILE_NOT_FOUND when
  // the key is not there to unregister from.
  LONG Open(RegistrationScope scope, bool registering, CRITICAL_SECTION* overrideLock) noexcept;
  HKEY Get() const noexcept { return key_.Get(); }
  RegistrationScope Scope() const noexcept { return scope_; }
  CRITICAL_SECTION* OverrideLock() const noexcept { return overrideLock_; }

 private:
  RegistryKey key_;
  RegistrationScope scope_ = RegistrationScope::Machine;
  CRITICAL_SECTION* overrideLock_ = nullptr;
};

// For the platform calls that write through HKEY_CLASSES_ROOT and take no key of ours (the type
// library's registration, the categories manager): while it lives, HKEY_CLASSES_ROOT stands for
// `classes` in the whole process. That is seen by every thread of the host, so it lasts exactly
// as long as those calls, and it holds the key's override lock (the module mutex) meanwhile: two
// registrations of this library cannot undo each other's override, and the library's own
// type-information load (which takes the same mutex) never reads the overridden key. It restores
// the predefined key on every path out.
class ClassesRootOverride {
 public:
  explicit ClassesRootOverride(const ClassesKey& classes) noexcept;
  ~ClassesRootOverride();
  ClassesRootOverride(const ClassesRootOverride&) = delete;
  ClassesRootOverride& operator=(const ClassesRootOverride&) = delete;

  // S_OK when the override is in place.
  HRESULT Result() const noexcept { return result_; }

 private:
  CRITICAL_SECTION* mutex_ = nullptr;
  HRESULT result_ = E_FAIL;
};

}  // namespace pellmora
