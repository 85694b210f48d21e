#include "module/self_registration.h"

#include "module/class_table.h"
#include "module/module_path.h"
#include "module/module_state.h"
#include "module/server_module.h"
#include "registrar/narrow_copy.h"
#include "registrar/script_registrar.h"
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

}  // namespace

HRESULT RegisterServer() noexcept {
  HRESULT result = CheckModulePath();
  if (FAILED(result)) return result;
  result = RunRegistrationScript(kAppIdScript, true, kAppIdPairs);
  if (FAILED(result)) return result;
  return RegisterClasses(ModuleClassTable());
}

HRESULT UnregisterServer() noexcept {
  HRESULT result = CheckModulePath();
  if (FAILED(result)) return result;
  result = UnregisterClasses(ModuleClassTable());
  if (FAILED(result)) return result;
  return RunRegistrationScript(kAppIdScript, false, kAppIdPairs);
}

HRESULT RunRegistrationScript(UINT resourceId, bool registering, const ReplacementPair* extraPairs) noexcept {
  ScriptRegistrar registrar;
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

HRESULT RegisterClasses(ClassTable& classes) noexcept {
  for (ClassEntry& entry : classes) {
    if (entry.clsid == nullptr) continue;
    HRESULT result = entry.updateRegistration(true);
    if (FAILED(result)) return result;
    result = UpdateClassCategories(*entry.clsid, entry.categories ? entry.categories() : nullptr, true);
    if (FAILED(result)) return result;
  }
  return RegisterModuleTypeLibrary(classes.TypeLibraryModule());
}

HRESULT UnregisterClasses(ClassTable& classes) noexcept {
  for (ClassEntry& entry : classes) {
    if (entry.clsid == nullptr) continue;
    HRESULT result = UpdateClassCategories(*entry.clsid, entry.categories ? entry.categories() : nullptr, false);
    if (FAILED(result)) return result;
    result = entry.updateRegistration(false);
    if (FAILED(result)) return result;
  }
  return UnregisterModuleTypeLibrary(classes.TypeLibraryModule());
}

}  // namespace pellmora
