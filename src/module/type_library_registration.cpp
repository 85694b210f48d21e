// Registration of the type library that the library carries, or that lies beside it as a file.
#include <shlwapi.h>

#include <cstring>

#include "module/module_path.h"
#include "module/self_registration.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"
#include "support/scratch_buffer.h"
#include "support/text_conversion.h"
#include "support/wide_text.h"

namespace pellmora {

HRESULT LoadModuleTypeLibrary(HMODULE module, BSTR* path, ITypeLib** library) noexcept {
  if (path == nullptr || library == nullptr) return E_POINTER;
  *path = nullptr;
  *library = nullptr;

  const UINT codePage = ConversionCodePage();
  char narrowPath[kModulePathCapacity];
  HRESULT result = ReadModuleFileName(module, narrowPath);
  if (FAILED(result)) return result;
  char* extension = PathFindExtensionA(narrowPath);

  ScratchBuffer scratch;
  const char16_t* widePath = WidePath(scratch, narrowPath, codePage);
  if (widePath == nullptr) return E_OUTOFMEMORY;
  result = LoadTypeLib(PlatformWide(widePath), library);
  if (FAILED(result)) {
    // Not embedded: try the file of the same name with the extension ".tlb".
    if (static_cast<std::size_t>(extension - narrowPath) + 5 > kModulePathCapacity) return E_FAIL;
    std::memcpy(extension, ".tlb", 5);
    widePath = WidePath(scratch, narrowPath, codePage);
    if (widePath == nullptr) return E_OUTOFMEMORY;
    result = LoadTypeLib(PlatformWide(widePath), library);
    if (FAILED(result)) return result;
  }
  *path = SysAllocString(PlatformWide(widePath));
  if (*path == nullptr) return E_OUTOFMEMORY;
  return result;
}

HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept {
  AutomationString path;
  ComPtr<ITypeLib> library;
  const HRESULT result = LoadModuleTypeLibrary(module, path.put(), library.put());
  if (FAILED(result)) return result;

  // The help directory is the folder of the file, with its trailing separator.
  char16_t helpDirectory[kModulePathCapacity];
  const char16_t* source = PortableWide(path.get());
  std::size_t length = 0;
  while (length < kModulePathCapacity - 1 && source[length] != u'\0') {
    helpDirectory[length] = source[length];
    ++length;
  }
  helpDirectory[length] = u'\0';
  helpDirectory[DirectoryLength(helpDirectory)] = u'\0';

  return RegisterTypeLib(library.get(), path.get(), PlatformWide(helpDirectory));
}

HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept {
  AutomationString path;
  ComPtr<ITypeLib> library;
  HRESULT result = LoadModuleTypeLibrary(module, path.put(), library.put());
  if (FAILED(result)) return result;

  TLIBATTR* attributes = nullptr;
  result = library->GetLibAttr(&attributes);
  if (FAILED(result)) return result;
  result = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                             attributes->syskind);
  if (FAILED(result)) {
    // Unregistering twice, or after the library's entries were removed by hand, finds nothing to
    // remove; that is the state unregistration is after, and failing here would keep the AppID
    // entries from ever being removed.
    AutomationString registeredPath;
    if (FAILED(QueryPathOfRegTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                     attributes->lcid, registeredPath.put()))) {
      result = S_OK;
    }
  }
  library->ReleaseTLibAttr(attributes);
  return result;
}

}  // namespace pellmora
