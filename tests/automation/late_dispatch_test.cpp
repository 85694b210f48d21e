// Creates an object of a LoadLibrary'd Pellmora.dll, hands it to the probe DLL and exits without
// releasing anything: the probe then calls dispatch after the component's module is gone
// (late_dispatch_probe.cpp). The test passes on the probe's line, which a crash never prints.
#include "support/platform.h"

#include <initguid.h>

#include "automation/pellmora_lib.h"
#include "test_registration.h"

extern "C" __declspec(dllimport) void HoldUntilExit(IDispatch* object);

int main() {
  HMODULE dll = LoadLibraryW(pellmora::testing::DllPath().c_str());
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(const CLSID*, const IID*, void**);
  auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  IDispatch* object = nullptr;
  if (getClassObject == nullptr ||
      FAILED(getClassObject(&CLSID_ConnectionString, &IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
      FAILED(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)))) {
    return 1;
  }
  HoldUntilExit(object);
  return 0;  // the DLL stays loaded and the object alive until the process exits
}
