// Cost of reaching the component early-bound and late-bound, run under Wine:
//  - parse through the interface's function table;
//  - the same call through IDispatch::Invoke (handed to the type information);
//  - GetIDsOfNames for one name answered from the name cache (exact spelling) and by the type
//    information (another case).
// Prints nanoseconds per call (best of several rounds) and the ratios between them.
#include <cstdio>
#include <string>

#include "support/platform.h"

#include <initguid.h>

#include "automation/pellmora_lib.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"
#include "test_registration.h"

namespace {

using pellmora::AutomationString;
using pellmora::ComPtr;
using pellmora::testing::DllPath;

double NowNanoseconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

// Best time per call over several rounds of `iterations` calls of `call`; -1 when a call fails.
template <class Call>
double NanosecondsPerCall(long iterations, Call call) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    const double start = NowNanoseconds();
    for (long i = 0; i < iterations; ++i) {
      if (FAILED(call())) return -1;
    }
    const double perCall = (NowNanoseconds() - start) / static_cast<double>(iterations);
    if (perCall < best) best = perCall;
  }
  return best;
}

int Run() {
  const std::wstring path = DllPath();
  ComPtr<ITypeLib> library;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put())) ||
      FAILED(RegisterTypeLib(library.get(), const_cast<wchar_t*>(path.c_str()), nullptr))) {
    std::fprintf(stderr, "cannot register the type library of %ls\n", path.c_str());
    return 1;
  }
  HMODULE dll = LoadLibraryW(path.c_str());
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(const CLSID*, const IID*, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  ComPtr<IConnectionString> object;
  if (getClassObject == nullptr ||
      FAILED(getClassObject(&CLSID_ConnectionString, &IID_IClassFactory, factory.put_void())) ||
      FAILED(factory->CreateInstance(nullptr, IID_IConnectionString, object.put_void()))) {
    std::fprintf(stderr, "cannot create the object\n");
    return 1;
  }

  AutomationString text(SysAllocString(
      L"Provider=SQLOLEDB;Data Source=server01;Initial Catalog=sales;User ID=app;Password=secret;"
      L"Connect Timeout=30;Current Language=english"));
  const long kCalls = 100000;

  const double early = NanosecondsPerCall(kCalls, [&] {
    VARIANT_BOOL succeeded;
    return object->parse(text.get(), &succeeded);
  });

  VARIANT argument;
  argument.vt = VT_BSTR;
  argument.bstrVal = text.get();  // borrowed: not cleared
  DISPPARAMS params = {&argument, nullptr, 1, 0};
  const double late = NanosecondsPerCall(kCalls, [&] {
    VARIANT result;
    VariantInit(&result);
    return object->Invoke(11, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  });

  LPOLESTR exact[] = {const_cast<LPOLESTR>(L"parse")};
  LPOLESTR otherCase[] = {const_cast<LPOLESTR>(L"PARSE")};
  DISPID id;
  const double cached = NanosecondsPerCall(kCalls, [&] { return object->GetIDsOfNames(IID_NULL, exact, 1, 0, &id); });
  const double resolved =
      NanosecondsPerCall(kCalls, [&] { return object->GetIDsOfNames(IID_NULL, otherCase, 1, 0, &id); });

  object.reset();
  factory.reset();
  FreeLibrary(dll);
  UnRegisterTypeLib(LIBID_PellmoraLib, 1, 0, 0, SYS_WIN32);

  if (early < 0 || late < 0 || cached < 0 || resolved < 0) {
    std::fprintf(stderr, "a measured call failed\n");
    return 1;
  }
  std::printf("parse, early-bound (function table):     %8.1f ns/call\n", early);
  std::printf("parse, late-bound (IDispatch::Invoke):    %8.1f ns/call  (%.2fx early-bound)\n", late, late / early);
  std::printf("late-bound overhead per call:              %8.1f ns\n", late - early);
  std::printf("GetIDsOfNames \"parse\", name cache:        %8.1f ns/call\n", cached);
  std::printf("GetIDsOfNames \"PARSE\", type information:  %8.1f ns/call  (%.2fx name cache)\n", resolved,
              resolved / cached);
  return 0;
}

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr))) return 1;
  const int status = Run();
  CoUninitialize();
  return status;
}
