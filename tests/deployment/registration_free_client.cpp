// A client that uses Pellmora.dll with nothing registered, through the side-by-side manifest
// beside the DLL:
//
//   registration_free_client PATH\Pellmora.manifest
//
// Outside the activated context the class, its ProgIDs and its type library are unknown. Inside
// it the object is created by each ProgID and by class identifier, called early-bound and
// late-bound (dispatch through the type library the context names), and reached from another
// apartment through the interface's marshaling. Prints one line per failed check and, last,
// "N checks, M failures"; exits 0 only without failures. Built from the release package's
// include folder alone, like any client.
#include <windows.h>

#include <initguid.h>

#include <cstdio>
#include <string>

#include "pellmora_lib.h"

namespace {

int checks = 0;
int failures = 0;

void Check(const char* what, bool passed, HRESULT result = S_OK) {
  ++checks;
  if (passed) return;
  ++failures;
  std::printf("FAIL: %s (0x%08lX)\n", what, static_cast<unsigned long>(result));
}

void CheckResult(const char* what, HRESULT expected, HRESULT actual) { Check(what, expected == actual, actual); }

// Owns one automation string.
struct Text {
  BSTR value = nullptr;
  Text() = default;
  explicit Text(const wchar_t* text) : value(SysAllocString(text)) {}
  ~Text() { SysFreeString(value); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  std::wstring str() const { return value ? std::wstring(value, SysStringLen(value)) : std::wstring(); }
};

// Owns one interface reference.
template <typename Interface>
struct Ref {
  Interface* value = nullptr;
  Ref() = default;
  ~Ref() {
    if (value) value->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  void** put() { return reinterpret_cast<void**>(&value); }
};

// Owns one variant.
struct Variant {
  VARIANT value;
  Variant() { VariantInit(&value); }
  ~Variant() { VariantClear(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

// Values from outside the ANSI code page and outside the Basic Multilingual Plane, and quotes.
const wchar_t kConnection[] = L"Server=\u6570\u636e\u5e9301;Database='it''s';UID=Zo\u00eb;PWD=\U0001D11E";
const wchar_t kOleDbForm[] =
    L"Provider=SQLOLEDB;uid=Zo\u00eb;pwd=\U0001D11E;server=\u6570\u636e\u5e9301;database='it''s';"
    L"Current Language=;";

// Early-bound: parse, a setting and a form through the function table.
void UseEarlyBound(const char* how, IConnectionString* helper) {
  std::string what = std::string(how) + ": early-bound ";
  Text input(kConnection);
  VARIANT_BOOL parsed = VARIANT_FALSE;
  HRESULT result = helper->parse(input.value, &parsed);
  Check((what + "parse").c_str(), result == S_OK && parsed == VARIANT_TRUE, result);
  Text source;
  result = helper->get_DataSource(&source.value);
  Check((what + "DataSource").c_str(), result == S_OK && source.str() == L"\u6570\u636e\u5e9301", result);
  Text form;
  result = helper->get_OleDBString(&form.value);
  Check((what + "OleDBString").c_str(), result == S_OK && form.str() == kOleDbForm, result);
}

// Late-bound: names resolved and calls made through IDispatch, which needs the type library.
void UseLateBound(const char* how, IDispatch* helper) {
  std::string what = std::string(how) + ": late-bound ";
  struct Call {
    const wchar_t* name;
    WORD kind;
    const wchar_t* argument;  // null: no argument
    VARTYPE type;             // of the result
    const wchar_t* text;      // the result's text, for strings
  };
  const Call calls[] = {
      {L"parse", DISPATCH_METHOD, kConnection, VT_BOOL, nullptr},
      {L"UID", DISPATCH_PROPERTYGET, nullptr, VT_BSTR, L"Zo\u00eb"},
      {L"CATALOG", DISPATCH_PROPERTYGET, nullptr, VT_BSTR, L"it's"},
      {L"OleDBString", DISPATCH_PROPERTYGET, nullptr, VT_BSTR, kOleDbForm},
  };
  for (const Call& call : calls) {
    const std::string name = what + std::string(call.name, call.name + lstrlenW(call.name));
    LPOLESTR names[] = {const_cast<LPOLESTR>(call.name)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT result = helper->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    CheckResult((name + " GetIDsOfNames").c_str(), S_OK, result);
    if (FAILED(result)) continue;
    Variant argument;
    DISPPARAMS parameters = {};
    if (call.argument) {
      argument.value.vt = VT_BSTR;
      argument.value.bstrVal = SysAllocString(call.argument);
      parameters.rgvarg = &argument.value;
      parameters.cArgs = 1;
    }
    Variant answer;
    result = helper->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, call.kind, &parameters, &answer.value, nullptr, nullptr);
    bool right = result == S_OK && answer.value.vt == call.type;
    if (right && call.type == VT_BOOL) right = answer.value.boolVal == VARIANT_TRUE;
    if (right && call.type == VT_BSTR)
      right = std::wstring(answer.value.bstrVal, SysStringLen(answer.value.bstrVal)) == call.text;
    Check((name + " Invoke").c_str(), right, result);
  }
}

// Creating the class and finding its ProgIDs fail: nothing is registered.
void ExpectUnknown(const char* when) {
  const std::string what = std::string(when) + ": ";
  Ref<IUnknown> object;
  CheckResult((what + "CoCreateInstance by class identifier").c_str(), REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put()));
  for (const wchar_t* progid : {L"Vantelby.ConStringHelper", L"Vantelby.ConStringHelper.1"}) {
    CLSID clsid;
    CheckResult((what + "CLSIDFromProgID").c_str(), CO_E_CLASSSTRING, CLSIDFromProgID(progid, &clsid));
  }
}

// Whether HKEY_CLASSES_ROOT holds `kind`\`identity` (say "CLSID" and a class identifier).
bool Registered(const wchar_t* kind, const GUID& identity) {
  wchar_t text[64] = {};
  StringFromGUID2(identity, text, 64);
  const std::wstring name = std::wstring(kind) + L"\\" + text;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

struct ActivationContext {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie = 0;
  bool active = false;
  explicit ActivationContext(const wchar_t* manifest) {
    ACTCTXW description = {};
    description.cbSize = sizeof description;
    description.lpSource = manifest;
    handle = CreateActCtxW(&description);
  }
  ~ActivationContext() {
    Deactivate();
    if (handle != INVALID_HANDLE_VALUE) ReleaseActCtx(handle);
  }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  bool Activate() { return active = handle != INVALID_HANDLE_VALUE && ActivateActCtx(handle, &cookie); }
  void Deactivate() {
    if (active) DeactivateActCtx(0, cookie);
    active = false;
  }
};

// From a thread of the multithreaded apartment, with the context active there too, the object
// (an apartment-threaded one) is created in another apartment and reached through a proxy built
// from the type library.
DWORD WINAPI UseFromOtherApartment(void* context) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  ULONG_PTR cookie = 0;
  if (ActivateActCtx(static_cast<HANDLE>(context), &cookie)) {
    Ref<IConnectionString> helper;
    const HRESULT result =
        CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, helper.put());
    CheckResult("other apartment: CoCreateInstance", S_OK, result);
    if (SUCCEEDED(result)) UseEarlyBound("other apartment", helper.value);
    DeactivateActCtx(0, cookie);
  } else {
    Check("other apartment: ActivateActCtx", false, HRESULT_FROM_WIN32(GetLastError()));
  }
  CoUninitialize();
  return 0;
}

void Run(const wchar_t* manifest) {
  ExpectUnknown("before activation");
  // (Once loaded, the type library stays known to the process: this holds only before.)
  Ref<ITypeLib> library;
  Check("before activation: LoadRegTypeLib fails",
        FAILED(LoadRegTypeLib(LIBID_PellmoraLib, 1, 0, LOCALE_NEUTRAL, reinterpret_cast<ITypeLib**>(library.put()))));

  ActivationContext context(manifest);
  Check("CreateActCtxW on the manifest", context.handle != INVALID_HANDLE_VALUE, HRESULT_FROM_WIN32(GetLastError()));
  if (!context.Activate()) {
    Check("ActivateActCtx", false, HRESULT_FROM_WIN32(GetLastError()));
    return;
  }

  for (const wchar_t* progid : {L"Vantelby.ConStringHelper", L"Vantelby.ConStringHelper.1"}) {
    const std::string how = "by ProgID " + std::string(progid, progid + lstrlenW(progid));
    CLSID clsid = {};
    HRESULT result = CLSIDFromProgID(progid, &clsid);
    CheckResult((how + ": CLSIDFromProgID").c_str(), S_OK, result);
    Ref<IDispatch> helper;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, helper.put());
    CheckResult((how + ": CoCreateInstance").c_str(), S_OK, result);
    if (SUCCEEDED(result)) UseLateBound(how.c_str(), helper.value);
  }

  Ref<IConnectionString> kept;
  HRESULT result =
      CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, kept.put());
  CheckResult("by class identifier: CoCreateInstance", S_OK, result);
  if (SUCCEEDED(result)) {
    UseEarlyBound("by class identifier", kept.value);
    Ref<IDispatch> dispatch;
    result = kept.value->QueryInterface(IID_IDispatch, dispatch.put());
    CheckResult("by class identifier: QueryInterface for IDispatch", S_OK, result);
    if (SUCCEEDED(result)) UseLateBound("by class identifier", dispatch.value);
  }

  // Use within the apartment writes nothing to the registry. (Wine's type-library marshaler, used
  // below, registers the type library as it loads it: the one write that is not ours.)
  Check("nothing is registered: the class", !Registered(L"CLSID", CLSID_ConnectionString));
  Check("nothing is registered: the type library", !Registered(L"TypeLib", LIBID_PellmoraLib));
  Check("nothing is registered: the interface", !Registered(L"Interface", IID_IConnectionString));

  HANDLE thread = CreateThread(nullptr, 0, UseFromOtherApartment, context.handle, 0, nullptr);
  Check("other apartment: CreateThread", thread != nullptr);
  if (thread) {
    // The thread's calls come back to this apartment, which must keep dispatching messages.
    DWORD index = 0;
    CoWaitForMultipleHandles(0, 60000, 1, &thread, &index);
    CloseHandle(thread);
  }

  context.Deactivate();
  ExpectUnknown("after deactivation");
  if (kept.value) UseEarlyBound("created inside, used after deactivation", kept.value);
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments || count != 2) {
    std::printf("usage: registration_free_client PATH\\Pellmora.manifest\n");
    LocalFree(arguments);
    return 2;
  }
  if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    Run(arguments[1]);
    CoUninitialize();
  } else {
    Check("CoInitializeEx", false);
  }
  LocalFree(arguments);
  std::printf("%d checks, %d failures\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
