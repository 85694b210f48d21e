// What callers pay at the component boundary, run under Wine against the real runtime:
//  - a bare scan (one loop counting ";" and "=") of each text, the yardstick for parse;
//  - parse through the interface's function table: a typical string, 1 MiB of pairs, one value of
//    1 MiB, and the cost per byte from 100 bytes to 10 MiB;
//  - each form get (including freeing the string it hands out);
//  - parse through IDispatch::Invoke, and every member through Invoke against its early-bound call;
//  - GetIDsOfNames of a member name spelled as in the library and in other letter cases;
//  - the heap the DLL takes for one parse (its C runtime's allocations, counted by replacing
//    its imports of malloc, calloc, realloc and free).
// Each time is the best of many short rounds over three passes, taken in turn with what it is
// compared with. Besides the table it prints one line per figure, "RESULT <name> <value> <unit>",
// for scripts.
//
//   dispatch_benchmark [--inputs DIR] [--dll PATH]...
// --inputs DIR writes the typical and the 1 MiB text it times, as UTF-8, to DIR/typical.txt and
// DIR/large.txt before timing. --dll times that copy of the DLL instead of the build's; given
// more than once, the copies are timed side by side in this process (they need distinct file
// names); the RESULT names of the second and later carry "dllN_" in front.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/platform.h"

#include <initguid.h>

#include "automation/pellmora_lib.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"
#include "test_registration.h"

namespace {

using pellmora::AutomationString;
using pellmora::ComPtr;

// ---- timing ----

double NowNanoseconds() {
  static const double nanosecondsPerTick = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1e9 / static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * nanosecondsPerTick;
}

// Times several calls side by side: each is called once, calibrated to rounds of about 1 ms,
// then rounds of each run in turn, at least 25 of each and for at least 300 ms in all. A call's
// time is its best round: on a busy machine the best rounds are those that ran undisturbed, and
// taking them in turn keeps a change of load from favouring one call. -1 for a call that failed.
std::vector<double> SideBySide(const std::vector<std::function<HRESULT()>>& calls) {
  const auto timeRound = [](const std::function<HRESULT()>& call, long iterations) {
    const double start = NowNanoseconds();
    for (long i = 0; i < iterations; ++i) {
      if (FAILED(call())) return -1.0;
    }
    return (NowNanoseconds() - start) / static_cast<double>(iterations);
  };
  std::vector<long> iterations(calls.size(), 1);
  std::vector<double> best(calls.size(), 1e300);
  for (size_t n = 0; n < calls.size(); ++n) {
    // One call first: the first may load what later ones find ready (the type information).
    if (timeRound(calls[n], 1) < 0) {
      best[n] = -1;
      continue;
    }
    for (double perCall; (perCall = timeRound(calls[n], iterations[n])) * static_cast<double>(iterations[n]) < 1e6;) {
      if (perCall < 0) {
        best[n] = -1;
        break;
      }
      iterations[n] *= 2;
    }
  }
  const double start = NowNanoseconds();
  for (int round = 0; round < 25 || (NowNanoseconds() - start < 3e8 && round < 1000); ++round) {
    for (size_t n = 0; n < calls.size(); ++n) {
      if (best[n] < 0) continue;
      const double perCall = timeRound(calls[n], iterations[n]);
      best[n] = perCall < 0 ? -1 : std::min(best[n], perCall);
    }
  }
  return best;
}

volatile size_t g_sink;

// The yardstick: one pass that counts ";" and "=". Kept out of line so that it is measured as a
// loop over the text, not folded into the caller.
__attribute__((noinline)) size_t BareScan(const wchar_t* text, size_t length) {
  size_t separators = 0;
  for (size_t i = 0; i < length; ++i) separators += (text[i] == L';') + (text[i] == L'=');
  return separators;
}

// ---- inputs ----

const wchar_t kTypical[] =
    L"Provider=SQLOLEDB;Data Source=server01;Initial Catalog=sales;User ID=app;Password=secret;"
    L"Connect Timeout=30;Current Language=english";

// Pairs of the kinds the parser meets: a recognised key with a bare value, one with a single-
// quoted value holding a doubled quote, and an unknown key with a double-quoted value holding ";"
// and a doubled quote. The three take exactly 100 bytes, so that every size of the per-byte
// series from 100 bytes up holds the same mix; the text is repeated and cut to `bytes` of UTF-16.
std::wstring ManyPairs(size_t bytes) {
  static const std::wstring kPairs = L"Server=host-0001;uid='o''brien';App Name=\"a;b\"\"c\";";
  static_assert(sizeof(L"Server=host-0001;uid='o''brien';App Name=\"a;b\"\"c\";") == 51 * sizeof(wchar_t));
  std::wstring text;
  const size_t units = bytes / sizeof(wchar_t);
  text.reserve(units + kPairs.size());
  while (text.size() < units) text += kPairs;
  text.resize(units);
  return text;
}

AutomationString NewString(const std::wstring& text) {
  return AutomationString(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

bool WriteUtf8(const std::wstring& directory, const wchar_t* name, const AutomationString& text) {
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.get(), static_cast<int>(text.Length()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.get(), static_cast<int>(text.Length()), utf8.data(), bytes, nullptr, nullptr);
  const std::wstring path = directory + L"\\" + name;
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size();
  return std::fclose(file) == 0 && written;
}

// ---- the DLL's heap, counted at its imports ----

// Bytes held (counted from zero when counting starts: blocks taken earlier may be given back
// and take it below zero), the most held at once, and the number of blocks taken.
struct HeapCount {
  long long current = 0;
  long long peak = 0;
  size_t allocations = 0;
};
HeapCount g_heap;

void Taken(void* block) {
  if (block == nullptr) return;
  ++g_heap.allocations;
  g_heap.current += static_cast<long long>(_msize(block));
  if (g_heap.current > g_heap.peak) g_heap.peak = g_heap.current;
}
void Given(void* block) {
  if (block != nullptr) g_heap.current -= static_cast<long long>(_msize(block));
}
void* CountedMalloc(size_t size) {
  void* block = std::malloc(size);
  Taken(block);
  return block;
}
void* CountedCalloc(size_t count, size_t size) {
  void* block = std::calloc(count, size);
  Taken(block);
  return block;
}
void* CountedRealloc(void* old, size_t size) {
  const long long before = old != nullptr ? static_cast<long long>(_msize(old)) : 0;
  void* block = std::realloc(old, size);
  if (block != nullptr || size == 0) g_heap.current -= before;
  Taken(block);
  return block;
}
void CountedFree(void* block) {
  Given(block);
  std::free(block);
}

// Points the DLL's imports of the C runtime's heap functions at the counting ones. Returns how
// many it replaced.
int CountHeapOf(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  const struct {
    const char* name;
    void* replacement;
  } kHooks[] = {{"malloc", reinterpret_cast<void*>(&CountedMalloc)},
                {"calloc", reinterpret_cast<void*>(&CountedCalloc)},
                {"realloc", reinterpret_cast<void*>(&CountedRealloc)},
                {"free", reinterpret_cast<void*>(&CountedFree)}};
  int replaced = 0;
  for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       directory.VirtualAddress != 0 && import->Name != 0; ++import) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), "msvcrt.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name =
          reinterpret_cast<const char*>(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      for (const auto& hook : kHooks) {
        if (std::strcmp(name, hook.name) != 0) continue;
        DWORD protection;
        VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook.replacement);
        VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
        ++replaced;
      }
    }
  }
  return replaced;
}

// ---- the copies of the DLL ----

class LoadedComponent {
 public:
  explicit LoadedComponent(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(const CLSID*, const IID*, void**);
    auto getClassObject =
        module_ == nullptr
            ? nullptr
            : reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    if (getClassObject != nullptr) getClassObject(&CLSID_ConnectionString, &IID_IClassFactory, factory_.put_void());
  }
  ~LoadedComponent() {
    factory_.reset();
    if (module_ != nullptr) FreeLibrary(module_);
  }
  LoadedComponent(const LoadedComponent&) = delete;
  LoadedComponent& operator=(const LoadedComponent&) = delete;
  HMODULE module() const { return module_; }
  ComPtr<IConnectionString> NewObject() const {
    ComPtr<IConnectionString> object;
    if (factory_) factory_->CreateInstance(nullptr, IID_IConnectionString, object.put_void());
    return object;
  }

 private:
  HMODULE module_;
  ComPtr<IClassFactory> factory_;
};

using Call = std::function<HRESULT()>;

Call ParseCall(IConnectionString* object, const AutomationString& text) {
  return [object, &text] {
    VARIANT_BOOL succeeded;
    return object->parse(text.get(), &succeeded);
  };
}

Call ParseCallOf(IConnectionString* object, BSTR text) {
  return [object, text] {
    VARIANT_BOOL succeeded;
    return object->parse(text, &succeeded);
  };
}

Call BareScanCall(const AutomationString& text) {
  return [&text] {
    g_sink = BareScan(text.get(), text.Length());
    return S_OK;
  };
}

template <HRESULT (STDMETHODCALLTYPE IConnectionString::*Get)(BSTR*)>
Call FormGetCall(IConnectionString* object) {
  return [object] {
    BSTR form = nullptr;
    const HRESULT result = (object->*Get)(&form);
    SysFreeString(form);
    return result;
  };
}

Call IdOfNameCall(IConnectionString* object, const wchar_t* spelled) {
  return [object, spelled] {
    LPOLESTR names[] = {const_cast<LPOLESTR>(spelled)};
    DISPID id;
    return object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  };
}

// Each member of IConnectionString through the function table and through IDispatch::Invoke, the
// latter as a script host calls it: a get with VBScript's get-or-method flags, a put with its
// value named, parse with a string, Reset with nothing.
struct MemberCalls {
  std::string name;
  Call early;
  Call late;
};

Call InvokeCall(IConnectionString* object, DISPID id, WORD flags, DISPPARAMS* params) {
  return [=] {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, params, &result, nullptr, nullptr);
    VariantClear(&result);
    return hr;
  };
}

// `getter` holds the settings of the typical string; `putter` may be changed. `value` and
// `typical` must outlive the calls, as must the DISPPARAMS kept in `storage`.
std::vector<MemberCalls> MemberFigures(IConnectionString* getter, IConnectionString* putter, BSTR typical, BSTR value,
                                       std::deque<std::pair<VARIANT, DISPPARAMS>>& storage) {
  using Get = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR*);
  using Put = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR);
  const struct {
    const char* name;
    DISPID id;
    Get get;
    Put put;
  } kProperties[] = {
      {"UID", 1, &IConnectionString::get_UID, &IConnectionString::put_UID},
      {"PassWord", 2, &IConnectionString::get_PassWord, &IConnectionString::put_PassWord},
      {"Catalog", 3, &IConnectionString::get_Catalog, &IConnectionString::put_Catalog},
      {"Provider", 4, &IConnectionString::get_Provider, &IConnectionString::put_Provider},
      {"DataSource", 5, &IConnectionString::get_DataSource, &IConnectionString::put_DataSource},
      {"Timeout", 6, &IConnectionString::get_Timeout, &IConnectionString::put_Timeout},
      {"CurrentLanguage", 7, &IConnectionString::get_CurrentLanguage, &IConnectionString::put_CurrentLanguage},
      {"ODBCString", 8, &IConnectionString::get_ODBCString, nullptr},
      {"OleDBString", 9, &IConnectionString::get_OleDBString, nullptr},
      {"OleDBString2", 10, &IConnectionString::get_OleDBString2, nullptr},
  };
  static DISPID putName = DISPID_PROPERTYPUT;
  const auto withText = [&](BSTR text, bool named) {
    auto& [argument, params] = storage.emplace_back();
    argument.vt = VT_BSTR;
    argument.bstrVal = text;  // borrowed: not cleared
    params = {&argument, named ? &putName : nullptr, 1, named ? 1u : 0u};
    return &params;
  };
  auto& none = storage.emplace_back().second;
  none = {nullptr, nullptr, 0, 0};

  std::vector<MemberCalls> figures;
  for (const auto& property : kProperties) {
    const Get get = property.get;
    figures.push_back({std::string("get_") + property.name,
                       [=] {
                         BSTR text = nullptr;
                         const HRESULT hr = (getter->*get)(&text);
                         SysFreeString(text);
                         return hr;
                       },
                       InvokeCall(getter, property.id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none)});
  }
  for (const auto& property : kProperties) {
    if (property.put == nullptr) continue;
    const Put put = property.put;
    figures.push_back({std::string("put_") + property.name, [=] { return (putter->*put)(value); },
                       InvokeCall(putter, property.id, DISPATCH_PROPERTYPUT, withText(value, true))});
  }
  // A number put as VBScript passes `o.Timeout = 30`; the early-bound put takes the text.
  auto& [number, numberParams] = storage.emplace_back();
  number.vt = VT_I4;
  number.lVal = 30;
  numberParams = {&number, &putName, 1, 1};
  figures.push_back({"put_Timeout_number", [=] { return putter->put_Timeout(value); },
                     InvokeCall(putter, 6, DISPATCH_PROPERTYPUT, &numberParams)});
  figures.push_back(
      {"parse", ParseCallOf(putter, typical), InvokeCall(putter, 11, DISPATCH_METHOD, withText(typical, false))});
  figures.push_back({"Reset", [=] { return putter->Reset(); }, InvokeCall(putter, 12, DISPATCH_METHOD, &none)});
  return figures;
}

// ---- the table ----

// One figure: a call per copy of the DLL, timed side by side with an optional yardstick (the
// bare scan of the same text, or the same call with other arguments), against which each time is
// also given as a ratio. `perByte` divides every time by that many bytes.
struct Figure {
  std::string name;   // for the RESULT lines
  std::string label;  // for the table
  Call yardstick;
  std::string yardstickName;
  std::vector<Call> calls;
  double perByte = 0;
};

bool g_failed = false;

void Result(const std::string& name, double value, const char* unit) {
  std::printf("RESULT %s %.6g %s\n", name.c_str(), value, unit);
}

// Prints one figure from its times (yardstick first, if any; -1 for a failed call).
void Print(const Figure& figure, const std::vector<double>& times) {
  const double scale = figure.perByte > 0 ? 1 / figure.perByte : 1;
  const char* unit = figure.perByte > 0 ? "ns/byte" : "ns";
  size_t first = 0;
  std::printf("%-44s", figure.label.c_str());
  if (figure.yardstick) {
    std::printf(" %12.4g", times[0] * scale);
    first = 1;
  } else {
    std::printf(" %12s", "");
  }
  for (size_t n = first; n < times.size(); ++n) {
    if (times[n] < 0) g_failed = true;
    std::printf(" %12.4g", times[n] * scale);
    if (figure.yardstick) std::printf(" (%5.2fx)", times[n] / times[0]);
  }
  std::printf("\n");
  for (size_t n = first; n < times.size(); ++n) {
    const std::string prefix = n == first ? "" : "dll" + std::to_string(n - first + 1) + "_";
    Result(prefix + figure.name + (figure.perByte > 0 ? "_ns_per_byte" : "_ns"), times[n] * scale, unit);
    if (figure.yardstick) Result(prefix + figure.name + "_ratio", times[n] / times[0], "x");
  }
  if (figure.yardstick && !figure.yardstickName.empty()) {
    Result(figure.yardstickName + (figure.perByte > 0 ? "_ns_per_byte" : "_ns"), times[0] * scale, unit);
  }
}

// Times every figure in several passes over the whole table and keeps each call's best: a
// machine shared with other work has spells, longer than one figure takes, in which everything
// runs slower.
std::vector<std::vector<double>> TimeAll(const std::vector<Figure>& table) {
  constexpr int kPasses = 3;
  std::vector<std::vector<double>> best(table.size());
  for (int pass = 0; pass < kPasses; ++pass) {
    for (size_t row = 0; row < table.size(); ++row) {
      std::vector<Call> calls = table[row].calls;
      if (table[row].yardstick) calls.insert(calls.begin(), table[row].yardstick);
      const std::vector<double> times = SideBySide(calls);
      if (pass == 0) best[row] = times;
      for (size_t n = 0; n < times.size(); ++n) {
        if (times[n] < 0 || best[row][n] < 0) {
          best[row][n] = -1;
        } else {
          best[row][n] = std::min(best[row][n], times[n]);
        }
      }
    }
  }
  return best;
}

// The heap one parse takes, counted at the DLL's imports: the peak held during a parse of `text`
// into a fresh object, and the blocks taken by the same parse repeated into that object.
struct HeapFigures {
  long long largePeak = 0, oneValuePeak = 0;
  size_t largeBlocks = 0, repeatedBlocks = 0;
};

bool CountHeap(const LoadedComponent& component, const AutomationString& large, const AutomationString& oneValue,
               HeapFigures& out) {
  if (CountHeapOf(component.module()) == 0) return false;
  const auto peakOfParse = [&](IConnectionString* into, const AutomationString& text) {
    g_heap = HeapCount{};
    VARIANT_BOOL succeeded;
    into->parse(text.get(), &succeeded);
    return g_heap.peak;
  };
  ComPtr<IConnectionString> fresh = component.NewObject();
  out.largePeak = peakOfParse(fresh.get(), large);
  out.largeBlocks = g_heap.allocations;
  peakOfParse(fresh.get(), large);
  out.repeatedBlocks = g_heap.allocations;
  fresh = component.NewObject();
  out.oneValuePeak = peakOfParse(fresh.get(), oneValue);
  return true;
}

int Run(int argc, wchar_t** argv) {
  std::wstring inputs;
  std::vector<std::wstring> dlls;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if ((option == L"--inputs" || option == L"--dll") && i + 1 < argc) {
      (option == L"--inputs" ? inputs : dlls.emplace_back()) = argv[++i];
    } else {
      std::fprintf(stderr, "usage: dispatch_benchmark [--inputs DIR] [--dll PATH]...\n");
      return 2;
    }
  }
  if (dlls.empty()) dlls.push_back(pellmora::testing::DllPath());

  const AutomationString typical(SysAllocString(kTypical));
  const AutomationString large = NewString(ManyPairs(1 << 20));
  if (!inputs.empty() && (!WriteUtf8(inputs, L"typical.txt", typical) || !WriteUtf8(inputs, L"large.txt", large))) {
    std::fprintf(stderr, "cannot write the inputs to %ls\n", inputs.c_str());
    return 1;
  }

  ComPtr<ITypeLib> library;
  if (FAILED(LoadTypeLibEx(dlls.front().c_str(), REGKIND_NONE, library.put())) ||
      FAILED(RegisterTypeLib(library.get(), const_cast<wchar_t*>(dlls.front().c_str()), nullptr))) {
    std::fprintf(stderr, "cannot register the type library of %ls\n", dlls.front().c_str());
    return 1;
  }
  std::vector<std::unique_ptr<LoadedComponent>> components;
  std::vector<ComPtr<IConnectionString>> objects;
  for (const std::wstring& path : dlls) {
    components.push_back(std::make_unique<LoadedComponent>(path));
    objects.push_back(components.back()->NewObject());
    if (!objects.back()) {
      std::fprintf(stderr, "cannot create the object of %ls\n", path.c_str());
      return 1;
    }
  }
  const auto each = [&](auto make) {
    std::vector<Call> calls;
    for (const auto& object : objects) calls.push_back(make(object.get()));
    return calls;
  };

  std::printf("%-44s %12s", "figure (ns; ratio to the first column)", "yardstick");
  for (size_t n = 0; n < dlls.size(); ++n) std::printf(" %12s%s", ("dll" + std::to_string(n + 1)).c_str(), "         ");
  std::printf("\n");
  for (size_t n = 0; n < dlls.size(); ++n) std::printf("  dll%zu = %ls\n", n + 1, dlls[n].c_str());

  // Parse figures run on `objects`; the form gets on a second object per copy that holds the
  // settings of the typical string throughout.
  std::vector<ComPtr<IConnectionString>> formObjects;
  for (const auto& component : components) {
    formObjects.push_back(component->NewObject());
    VARIANT_BOOL succeeded;
    if (!formObjects.back() || FAILED(formObjects.back()->parse(typical.get(), &succeeded))) return 1;
  }
  const auto eachForm = [&](auto make) {
    std::vector<Call> calls;
    for (const auto& object : formObjects) calls.push_back(make(object.get()));
    return calls;
  };

  std::vector<Figure> table;
  const std::string typicalUnits = std::to_string(typical.Length());
  table.push_back({"parse_typical", "parse, typical (" + typicalUnits + " units) vs bare scan", BareScanCall(typical),
                   "bare_scan_typical", each([&](IConnectionString* o) { return ParseCall(o, typical); })});
  table.push_back({"parse_large", "parse, 1 MiB of pairs vs bare scan", BareScanCall(large), "bare_scan_large",
                   each([&](IConnectionString* o) { return ParseCall(o, large); })});
  const AutomationString empty(SysAllocString(L""));
  // One value of 1 MiB: the search for its end is the whole parse, besides copying the value.
  const AutomationString oneValue = NewString(L"Password=" + std::wstring((1 << 19) - 9, L'x'));
  table.push_back({"parse_one_value", "parse, one 1 MiB value vs bare scan", BareScanCall(oneValue),
                   "bare_scan_one_value", each([&](IConnectionString* o) { return ParseCall(o, oneValue); })});
  table.push_back({"parse_empty", "parse, empty text (the cost of a call)", nullptr, "",
                   each([&](IConnectionString* o) { return ParseCall(o, empty); })});
  std::deque<AutomationString> seriesTexts;
  const size_t firstOfSeries = table.size();
  for (size_t bytes : {100u, 1000u, 10000u, 100000u, 1000000u, 10000000u}) {
    const AutomationString& text = seriesTexts.emplace_back(NewString(ManyPairs(bytes)));
    const std::string size = std::to_string(bytes);
    table.push_back({"parse_" + size, "parse per byte, " + size + " bytes, vs bare scan", BareScanCall(text),
                     "bare_scan_" + size, each([&](IConnectionString* o) { return ParseCall(o, text); }),
                     static_cast<double>(bytes)});
  }
  const size_t endOfSeries = table.size();

  // The floor under a form get: allocating and freeing an automation string of that length.
  BSTR form = nullptr;
  formObjects.front()->get_OleDBString(&form);
  const UINT formLength = SysStringLen(form);
  SysFreeString(form);
  const Call stringOnly = [formLength] {
    BSTR text = SysAllocStringLen(nullptr, formLength);
    SysFreeString(text);
    return text != nullptr ? S_OK : E_OUTOFMEMORY;
  };
  table.push_back({"string_alloc_free", "allocate and free a string of a form's length", nullptr, "", {stringOnly}});
  table.push_back({"get_odbc", "get ODBCString (typical record, then free)", nullptr, "",
                   eachForm([](IConnectionString* o) { return FormGetCall<&IConnectionString::get_ODBCString>(o); })});
  table.push_back({"get_oledb", "get OleDBString (typical record, then free)", nullptr, "",
                   eachForm([](IConnectionString* o) { return FormGetCall<&IConnectionString::get_OleDBString>(o); })});
  table.push_back(
      {"get_oledb2", "get OleDBString2 (typical record, then free)", nullptr, "",
       eachForm([](IConnectionString* o) { return FormGetCall<&IConnectionString::get_OleDBString2>(o); })});

  const AutomationString memberValue(SysAllocString(L"report_reader"));
  std::deque<std::pair<VARIANT, DISPPARAMS>> memberStorage;
  for (size_t n = 0; n < objects.size(); ++n) {
    const std::string prefix = n == 0 ? "" : "dll" + std::to_string(n + 1) + "_";
    const std::string dll = "dll" + std::to_string(n + 1) + ": ";
    IConnectionString* object = objects[n].get();
    for (MemberCalls& member :
         MemberFigures(formObjects[n].get(), object, typical.get(), memberValue.get(), memberStorage)) {
      table.push_back({prefix + "late_" + member.name,
                       dll + member.name + ", Invoke vs early-bound",
                       std::move(member.early),
                       prefix + "early_" + member.name,
                       {std::move(member.late)}});
    }
    table.push_back({prefix + "ids_other_case",
                     dll + "GetIDsOfNames \"PARSE\" vs \"parse\"",
                     IdOfNameCall(object, L"parse"),
                     prefix + "ids_exact",
                     {IdOfNameCall(object, L"PARSE")}});
    table.push_back({prefix + "ids_long_other_case",
                     dll + "\"currentlanguage\" vs \"CurrentLanguage\"",
                     IdOfNameCall(object, L"CurrentLanguage"),
                     prefix + "ids_long_exact",
                     {IdOfNameCall(object, L"currentlanguage")}});
  }

  const std::vector<std::vector<double>> times = TimeAll(table);
  for (size_t row = 0; row < table.size(); ++row) Print(table[row], times[row]);
  for (size_t n = 0; n < dlls.size(); ++n) {
    double lowest = 1e300, highest = 0;
    for (size_t row = firstOfSeries; row < endOfSeries; ++row) {
      const double nanosecondsPerByte = times[row][n + 1] / table[row].perByte;
      lowest = std::min(lowest, nanosecondsPerByte);
      highest = std::max(highest, nanosecondsPerByte);
    }
    std::printf("dll%zu: parse per byte, highest / lowest from 100 B to 10 MiB: %.2fx\n", n + 1, highest / lowest);
    Result((n == 0 ? "" : "dll" + std::to_string(n + 1) + "_") + "parse_per_byte_spread", highest / lowest, "x");
  }

  // Last, so that the counting does not slow the timed calls.
  const double largeBytes = static_cast<double>(large.Length() * sizeof(OLECHAR));
  const double oneValueBytes = static_cast<double>(oneValue.Length() * sizeof(OLECHAR));
  for (size_t n = 0; n < components.size(); ++n) {
    HeapFigures heap;
    if (!CountHeap(*components[n], large, oneValue, heap)) {
      std::printf("dll%zu: imports no C runtime heap functions to count\n", n + 1);
      continue;
    }
    std::printf(
        "dll%zu heap: parse of 1 MiB of pairs peaks at %lld bytes (%.2fx the text) in %zu blocks; of one 1 MiB "
        "value at %lld bytes (%.2fx); the same parse repeated takes %zu blocks\n",
        n + 1, heap.largePeak, static_cast<double>(heap.largePeak) / largeBytes, heap.largeBlocks, heap.oneValuePeak,
        static_cast<double>(heap.oneValuePeak) / oneValueBytes, heap.repeatedBlocks);
    const std::string prefix = n == 0 ? "" : "dll" + std::to_string(n + 1) + "_";
    Result(prefix + "parse_large_peak_ratio", static_cast<double>(heap.largePeak) / largeBytes, "x");
    Result(prefix + "parse_one_value_peak_ratio", static_cast<double>(heap.oneValuePeak) / oneValueBytes, "x");
    Result(prefix + "parse_repeated_blocks", static_cast<double>(heap.repeatedBlocks), "count");
  }

  objects.clear();
  formObjects.clear();
  components.clear();
  pellmora::testing::UnregisterTypeLibrary();
  if (g_failed) {
    std::fprintf(stderr, "a measured call failed\n");
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return 1;
  const int status = Run(argc, argv);
  CoUninitialize();
  return status;
}
