// Self-registration of the library: its two registration scripts run against the registry, the
// component categories of its classes, and its type library, for the machine or for the current
// user. DllRegisterServer and DllUnregisterServer are RegisterServer and UnregisterServer for the
// machine, DllInstall with "user" the same for the user; the first failing step ends either with
// its result, and nothing done before it is undone.
#pragma once

#include "module/classes_root.h"
#include "support/platform.h"

namespace pellmora {

class ClassTable;
struct ClassCategory;

// The application identifier as the scripts write it.
extern const char16_t kApplicationIdText[];

// Resource identifiers of the two registration scripts (type "REGISTRY").
constexpr UINT kAppIdScript = 101;
constexpr UINT kClassScript = 102;

// One replacement a script run defines before the common ones; a list ends with a null name.
struct ReplacementPair {
  const char16_t* name;
  const char16_t* value;
};

// The AppID script, then every class (scripts, categories) and the type library.
HRESULT RegisterServer(RegistrationScope scope) noexcept;
// The same steps backwards: categories, class scripts, type library, AppID script. Removes the
// entries of `scope` only: a registration for the other scope stays whole.
HRESULT UnregisterServer(RegistrationScope scope) noexcept;

// DllInstall: "user" in any letter case registers (`install`) or unregisters for the current
// user; any other command line, null included, is E_INVALIDARG with nothing changed.
HRESULT InstallForCommandLine(bool install, const char16_t* commandLine) noexcept;

// Runs registration script `resourceId` of this library, registering or unregistering, with
// `extraPairs` (may be null), the module's common replacements and the library's own path
// ("Module" and "Module_Raw", quotes doubled) defined in that order. What the script names under
// HKEY_CLASSES_ROOT goes to the open key `classesRoot`.
HRESULT RunRegistrationScript(UINT resourceId, bool registering, const ReplacementPair* extraPairs,
                              HKEY classesRoot) noexcept;

// Each row's registration function and categories, in table order, then the type library.
HRESULT RegisterClasses(ClassTable& classes, const ClassesKey& root) noexcept;
// Each row's categories and registration function, in table order, then the type library.
HRESULT UnregisterClasses(ClassTable& classes, const ClassesKey& root) noexcept;

// Adds or removes the component categories of one class; S_OK for a class without any and when
// the categories manager is not available.
HRESULT UpdateClassCategories(const CLSID& clsid, const ClassCategory* categories, bool registering) noexcept;

// Loads the type library embedded in `module`'s file or, failing that, the ".tlb" file of the
// same name beside it. On success `*path` names the file it came from; both outputs belong to the
// caller, also when storing the path fails after the library was loaded.
HRESULT LoadModuleTypeLibrary(HMODULE module, BSTR* path, ITypeLib** library) noexcept;
// Registers that type library with its file's folder as help directory, for the scope of
// `classes` (for the user: under its key only).
HRESULT RegisterModuleTypeLibrary(HMODULE module, const ClassesKey& classes) noexcept;
// Removes the registration of that type library for that scope; one that is not registered there
// counts as removed.
HRESULT UnregisterModuleTypeLibrary(HMODULE module, const ClassesKey& classes) noexcept;

}  // namespace pellmora
