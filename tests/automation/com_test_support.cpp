#include "com_test_support.h"

namespace pellmora::testing {

ULONG ReferenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

std::wstring Text(BSTR value) { return value == nullptr ? std::wstring() : std::wstring(value, SysStringLen(value)); }

EntryPoints EntryPointsOf(HMODULE module) {
  EntryPoints entries;
  entries.DllCanUnloadNow = reinterpret_cast<decltype(entries.DllCanUnloadNow)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  entries.DllGetClassObject = reinterpret_cast<decltype(entries.DllGetClassObject)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  entries.DllRegisterServer = reinterpret_cast<decltype(entries.DllRegisterServer)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  entries.DllUnregisterServer = reinterpret_cast<decltype(entries.DllUnregisterServer)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  return entries;
}

HMODULE LoadedDll() { return GetModuleHandleW(DllPath().c_str()); }

void ComEnvironment::SetUp() {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  if (registerClass_) {
    ASSERT_EQ(RegisterClassByHand(), S_OK);
  }
}

void ComEnvironment::TearDown() {
  if (registerClass_) {
    EXPECT_EQ(UnregisterClassByHand(), S_OK);
  }
  CoUninitialize();
}

}  // namespace pellmora::testing
