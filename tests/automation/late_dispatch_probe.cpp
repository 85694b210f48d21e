// A DLL that holds a ConnectionString object until the process exits and calls its dispatch
// members from its own detach notification. It is loaded before Pellmora.dll, so the loader
// detaches it after Pellmora.dll: the calls arrive once the component's module is torn down,
// while its code is still mapped, before the type information was ever loaded.
#include <cstdio>

#include "support/platform.h"

namespace {

IDispatch* g_held = nullptr;

void Say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

void ProbeLateDispatch() {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Reset")};
  DISPID id = 0;
  const HRESULT named = g_held->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  const HRESULT invoked = g_held->Invoke(12, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  const HRESULT typed = g_held->GetTypeInfo(0, 0, &info);
  char line[160];
  std::snprintf(line, sizeof line, "late dispatch: GetIDsOfNames %08lX, Invoke %08lX, GetTypeInfo %08lX%s\n",
                static_cast<unsigned long>(named), static_cast<unsigned long>(invoked),
                static_cast<unsigned long>(typed), info == nullptr ? "" : " with an info");
  Say(line);
}

}  // namespace

extern "C" __declspec(dllexport) void HoldUntilExit(IDispatch* object) {
  object->AddRef();
  g_held = object;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH && g_held != nullptr) ProbeLateDispatch();
  return TRUE;
}
