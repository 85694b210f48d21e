// The exported entry points through which the component runtime reaches the library.
#include "module/module_state.h"
#include "module/server_module.h"

// S_FALSE while any object, any extra factory reference or any LockServer(TRUE) holds the
// module; cached class objects do not count.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  const pellmora::ServerModule* module = pellmora::ServerModule::Current();
  return module != nullptr && module->GetLockCount() != 0 ? S_FALSE : S_OK;
}

// Exported as DllGetClassObject (see the .def file). Takes the identifiers by pointer so that
// null ones can be refused with E_INVALIDARG instead of being read.
extern "C" HRESULT STDAPICALLTYPE GetClassObjectEntry(const CLSID* clsid, const IID* iid, void** out) {
  if (clsid == nullptr || iid == nullptr) {
    if (out != nullptr) *out = nullptr;
    return E_INVALIDARG;
  }
  return pellmora::ModuleClassTable().GetClassObject(*clsid, *iid, out);
}
