// The component categories of a class, through the system's categories manager.
#include <comcat.h>

#include <string>

#include "module/class_table.h"
#include "module/self_registration.h"
#include "registrar/registry_key.h"
#include "support/com_ptr.h"
#include "support/text_conversion.h"
#include "support/wide_text.h"

namespace pellmora {

namespace {

constexpr DWORD kImplementedCategory = 1;

// Deletes HKCR\`path` when it exists and has no subkeys left.
void DeleteKeyIfEmpty(const std::string& path) noexcept {
  DWORD subkeys = 0;
  LONG queried;
  {
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
    queried = RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
  }
  if (queried == ERROR_SUCCESS && subkeys == 0) RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
}

// Removes the category keys of `clsid` that unregistering its categories left empty.
void DeleteEmptyCategoryKeys(const CLSID& clsid) noexcept {
  WCHAR wide[64];
  if (StringFromGUID2(clsid, wide, 64) == 0) return;
  char narrow[64];
  if (NarrowFromWide(narrow, PortableWide(wide), sizeof narrow, ConversionCodePage()) == nullptr) return;
  try {
    const std::string classKey = std::string("CLSID\\") + narrow;
    DeleteKeyIfEmpty(classKey + "\\Required Categories");
    DeleteKeyIfEmpty(classKey + "\\Implemented Categories");
  } catch (...) {
    // Out of memory for the key names: the empty keys stay, as when they cannot be opened.
  }
}

}  // namespace

HRESULT UpdateClassCategories(const CLSID& clsid, const ClassCategory* categories, bool registering) noexcept {
  if (categories == nullptr || IsEqualGUID(clsid, GUID_NULL)) return S_OK;

  ComPtr<ICatRegister> manager;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                              manager.put_void()))) {
    return S_OK;  // no categories manager on this system: nothing to record them in
  }
  for (const ClassCategory* entry = categories; entry->kind != 0; ++entry) {
    CATID category = *entry->category;
    const bool implemented = entry->kind == kImplementedCategory;
    if (registering) {
      const HRESULT result = implemented ? manager->RegisterClassImplCategories(clsid, 1, &category)
                                         : manager->RegisterClassReqCategories(clsid, 1, &category);
      if (FAILED(result)) return result;
    } else if (implemented) {
      manager->UnRegisterClassImplCategories(clsid, 1, &category);
    } else {
      manager->UnRegisterClassReqCategories(clsid, 1, &category);
    }
  }
  if (!registering) DeleteEmptyCategoryKeys(clsid);
  return S_OK;
}

}  // namespace pellmora
