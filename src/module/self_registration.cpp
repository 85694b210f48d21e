#include "module/self_registration.h"

#include "module/class_table.h"
#include "module/module_path.h"
#include "module/module_state.h"
#include "module/server_module.h"
#include "registrar/narrow_copy.h"
#include "registrar/script_registrar.h"
#include "support/result_codes.h"
#include "support/scratch_buffer.h"
#include "support/text_conversion.h"
#include "support/wide_text.h"

// The start of this library's image, which is its instance handle.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pellmora {

const char16_t kApplicationIdText[] = u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}";

namespace {

HMODULE ModuleInstance() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

const ReplacementPair kAppIdPairs[] = {{u"APPID", kApplicationIdText}, {nullptr, nullptr}};

// The scripts, the loader and the type library all see the library's path in the ANSI code page.
// A path that the code page cannot hold would reach them altered (the code page's default
// character or a look-alike in its place): a server path naming no file, or another one. Both
// directions therefore refuse such a path with 0x80070459 before anything is touched, so that a
// registration is never left half done and an unregistration never removes half of one.
HRESULT CheckModulePath() noexcept {
  WCHAR path[kModulePathCapacity];
  const DWORD length = GetModuleFileNameW(ModuleInstance(), path, kModulePathCapacity);
  const HRESULT result = ModuleFileNameResult(length, length == 0 ? GetLastError() : ERROR_SUCCESS);
  if (FAILED(result)) return result;
  ScratchBuffer scratch;
  char* narrow = nullptr;
  return NarrowCopy(PortableWide(path), scratch, true, &narrow);
}

// The lock that an override of HKEY_CLASSES_ROOT holds: the module mutex.
CRITICAL_SECTION* OverrideLock() noexcept {
  ServerModule* module = ServerModule::Current();
  return module != nullptr ? &module->Mutex() : nullptr;
}

// DllInstall's command line for a registration of the current user: "user" in any letter case.
bool IsUserCommandLine(const char16_t* text) noexcept {
  if (text == nullptr) return false;
  const char16_t user[] = u"user";
  for (std::size_t i = 0; i < 4; ++i) {
    char16_t unit = text[i];
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    if (unit != user[i]) return false;  // also at the end of a shorter text
  }
  return text[4] == u'\0';
}

// The categories of one class. The categories manager writes through HKEY_CLASSES_ROOT, so for
// a user that key must stand for the user's classes key while it works.
HRESULT UpdateCategories(const ClassEntry& entry, bool registering, const ClassesKey& root) noexcept {
  const ClassCategory* categories = entry.categories != nullptr ? entry.categories() : nullptr;
  if (categories != nullptr && root.Scope() == RegistrationScope::User) {
    ClassesRootOverride override(root);
    if (FAILED(override.Result())) return override.Result();
    return UpdateClassCategories(*entry.clsid, categories, registering);
  }
  return UpdateClassCategories(*entry.clsid, categories, registering);
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope) noexcept {
  HRESULT result = CheckModulePath();
  if (FAILED(result)) return result;
  ClassesKey classes;
  const LONG code = classes.Open(scope, true, OverrideLock());
  if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  result = RunRegistrationScript(kAppIdScript, true, kAppIdPairs, classes.Get());
  if (FAILED(result)) return result;
  return RegisterClasses(ModuleClassTable(), classes);
}

HRESULT UnregisterServer(RegistrationScope scope) noexcept {
  HRESULT result = CheckModulePath();
  if (FAILED(result)) return result;
  ClassesKey classes;
  const LONG code = classes.Open(scope, false, OverrideLock());
  // A user without a classes key has nothing registered.
  if (code == ERROR_FILE_NOT_FOUND && scope == RegistrationScope::User) return S_OK;
  if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  result = UnregisterClasses(ModuleClassTable(), classes);
  if (FAILED(result)) return result;
  return RunRegistrationScript(kAppIdScript, false, kAppIdPairs, classes.Get());
}

HRESULT InstallForCommandLine(bool install, const char16_t* commandLine) noexcept {
  if (!IsUserCommandLine(commandLine)) return E_INVALIDARG;
  return install ? RegisterServer(RegistrationScope::User) : UnregisterServer(RegistrationScope::User);
}

HRESULT RunRegistrationScript(UINT resourceId, bool registering, const ReplacementPair* extraPairs,
                              HKEY classesRoot) noexcept {
  ScriptRegistrar registrar;
  registrar.MapClassesRoot(classesRoot);
  for (const ReplacementPair* pair = extraPairs; pair != nullptr && pair->name != nullptr; ++pair) {
    registrar.DefineReplacement(pair->name, pair->value);
  }
  ServerModule* module = ServerModule::Current();
  if (module == nullptr) return E_UNEXPECTED;
  HRESULT result = module->AddCommonReplacements(registrar);
  if (FAILED(result)) return result;

  const UINT codePage = ConversionCodePage();
  char narrowPath[kModulePathCapacity];
  result = ReadModuleFileName(ModuleInstance(), narrowPath);
  if (FAILED(result)) return result;
  ScratchBuffer scratch;
  const char16_t* path = WidePath(scratch, narrowPath, codePage);
  if (path == nullptr) return E_OUTOFMEMORY;

  // The scripts quote "%MODULE%" with single quotes, so a quote in the path must arrive doubled
  // to be read back as one. A path of at most 259 units always fits.
  char16_t escapedPath[kEscapedPathCapacity];
  if (!EscapeScriptQuotes(escapedPath, kEscapedPathCapacity, path)) return E_OUTOFMEMORY;
  result = registrar.DefineReplacement(u"Module", escapedPath);
  if (FAILED(result)) return result;
  result = registrar.DefineReplacement(u"Module_Raw", escapedPath);
  if (FAILED(result)) return result;

  return registering ? registrar.RegisterResource(path, resourceId, u"REGISTRY")
                     : registrar.UnregisterResource(path, resourceId, u"REGISTRY");
}

HRESULT RegisterClasses(ClassTable& classes, const ClassesKey& root) noexcept {
  for (ClassEntry& entry : classes) {
    if (entry.clsid == nullptr) continue;
    HRESULT result = entry.updateRegistration(true, root.Get());
    if (FAILED(result)) return result;
    result = UpdateCategories(entry, true, root);
    if (FAILED(result)) return result;
  }
  return RegisterModuleTypeLibrary(classes.TypeLibraryModule(), root);
}

HRESULT UnregisterClasses(ClassTable& classes, const ClassesKey& root) noexcept {
  for (ClassEntry& entry : classes) {
    if (entry.clsid == nullptr) continue;
    HRESULT result = UpdateCategories(entry, false, root);
    if (FAILED(result)) return result;
    result = entry.updateRegistration(false, root.Get());
    if (FAILED(result)) return result;
  }
  return UnregisterModuleTypeLibrary(classes.TypeLibraryModule(), root);
}

}  // namespace pellmora
