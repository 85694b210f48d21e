// The registrar through which the module runs its registration scripts: it holds the replacement
// values the scripts refer to and runs a script stored as a resource of a module file, registering
// or unregistering. It has the shape of a component object but answers no interface requests and
// counts no references: it lives on its user's stack for one run and must not be shared.
#pragma once

#include "registrar/replacement_map.h"
#include "support/platform.h"

namespace pellmora {

class ScriptRegistrar {
 public:
  ScriptRegistrar() noexcept = default;
  ScriptRegistrar(const ScriptRegistrar&) = delete;
  ScriptRegistrar& operator=(const ScriptRegistrar&) = delete;

  // E_NOTIMPL for every interface; `object` is left untouched.
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept;
  // 1 and 0: nothing is counted and nothing destroyed.
  virtual ULONG STDMETHODCALLTYPE AddRef() noexcept;
  virtual ULONG STDMETHODCALLTYPE Release() noexcept;
  // Defines the value that "%name%" stands for in the scripts (name without the percent signs,
  // matched without regard to case; the first definition of a name wins). E_INVALIDARG for a null
  // text, E_OUTOFMEMORY when it cannot be stored.
  virtual HRESULT STDMETHODCALLTYPE DefineReplacement(const char16_t* name, const char16_t* value) noexcept;
  // Forgets every definition. Always S_OK.
  virtual HRESULT STDMETHODCALLTYPE RemoveAllReplacements() noexcept;
  virtual ~ScriptRegistrar() = default;

  // The value of the first definition named `name` (ANSI, any case), or null.
  const char16_t* FindReplacement(const char* name) const noexcept;

  // Runs what the scripts name under HKEY_CLASSES_ROOT ("HKCR") in the open key `classes`
  // instead, such as HKEY_CURRENT_USER\Software\Classes for a registration of one user; null
  // goes back to HKEY_CLASSES_ROOT. The key is borrowed: the caller keeps it open while scripts
  // run. Unlike overriding the predefined key, this changes nothing for the rest of the process.
  void MapClassesRoot(HKEY classes) noexcept { classesRoot_ = classes; }
  // The key a script's root key name `root` (a predefined key) stands for in this registrar's runs.
  HKEY MapRootKey(HKEY root) const noexcept {
    return root == HKEY_CLASSES_ROOT && classesRoot_ != nullptr ? classesRoot_ : root;
  }

  // Run the script stored as resource `resourceId` (low 16 bits) of type `resourceType` in the
  // module file `modulePath`, registering or unregistering. The result is the run's, or the
  // failure to read the resource.
  HRESULT RegisterResource(const char16_t* modulePath, UINT resourceId, const char16_t* resourceType) noexcept;
  HRESULT UnregisterResource(const char16_t* modulePath, UINT resourceId, const char16_t* resourceType) noexcept;
  // The common body: `resourceName` is a name or MAKEINTRESOURCEA(id), `resourceType` ANSI.
  HRESULT RunResource(const char16_t* modulePath, LPCSTR resourceName, LPCSTR resourceType, bool doRegister) noexcept;

 private:
  HRESULT RunTypedResource(const char16_t* modulePath, UINT resourceId, const char16_t* resourceType,
                           bool doRegister) noexcept;

  ReplacementMap replacements_;
  HKEY classesRoot_ = nullptr;
};

}  // namespace pellmora
