// Calls IDispatch of the real object with generated calls (fuzz_call.h) for a while and checks
// each one:
//  - the object's Invoke and GetIDsOfNames answer exactly what the type information alone
//    answers for the same call on a twin object: HRESULT, result, EXCEPINFO, puArgErr, the
//    settings after the call, the arguments untouched;
//  - no automation string, array or other task-allocator block is left behind (counted through
//    the runtime's allocator hook), and no reference is kept on an object argument;
//  - both objects still answer correctly afterwards.
//   automation_dispatch_fuzz [--seconds S] [--seed N] [--call I] [--path 0|1]
// --call I replays call I of seed N alone and prints it. --path runs the calls only through the
// object (0) or only through the type information (1), checking nothing but crashes: to tell
// whose code a crash is in. Prints one line per finding with the seed
// and call to replay it, and a summary line; the exit code is 1 when anything was found.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "allocation_spy.h"
#include "automation/pellmora_lib.h"
#include "fuzz_call.h"
#include "setting_getters.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"
#include "test_registration.h"

namespace pellmora::testing {
namespace {

uint64_t g_seed = 0;
volatile uint64_t g_call = 0;

// A crash ends the run with the call that caused it, for replay.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
  std::printf("FINDING crash %08lX in call %" PRIu64 ": replay with --seed %" PRIu64 " --call %" PRIu64 "\n",
              static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), g_call, g_seed, g_call);
  std::fflush(stdout);
  ExitProcess(3);
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRIX64, value);
  return text;
}

std::string Escaped(BSTR text) {
  std::string escaped = "\"";
  for (UINT n = 0; n < SysStringLen(text); ++n) {
    const OLECHAR unit = text[n];
    escaped += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit)) : "\\u" + Hex(unit);
  }
  return text == nullptr ? "null" : escaped + "\"";
}

// A result's value as text: only the bits its type holds (an empty variant's are not a value).
std::string Value(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return "-";
    case VT_BSTR:
      return Escaped(value.bstrVal);
    case VT_BOOL:
    case VT_I2:
    case VT_UI2:
      return Hex(value.uiVal);
    case VT_I1:
    case VT_UI1:
      return Hex(value.bVal);
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return Hex(value.ulVal);
    default:
      return "bits " + Hex(value.ullVal);
  }
}

// The object's settings, read through its function table.
std::string Settings(IConnectionString* object) {
  std::string settings;
  for (const auto get : kSettingGetters) {
    AutomationString field;
    const HRESULT hr = (object->*get)(field.put());
    settings += " " + (SUCCEEDED(hr) ? Escaped(field.get()) : "hr " + Hex(static_cast<ULONG>(hr)));
  }
  return settings;
}

// Everything an Invoke can change, as text.
std::string InvokeOutcome(HRESULT hr, FuzzCall& call, IConnectionString* object) {
  std::string outcome = "hr " + Hex(static_cast<ULONG>(hr));
  if (const VARIANT* result = call.Result()) {
    outcome += "; result vt " + Hex(result->vt) + " " + Value(*result);
  }
  if (const EXCEPINFO* exception = call.Exception()) {
    outcome += "; excepinfo " + Hex(exception->wCode) + " " + Hex(static_cast<ULONG>(exception->scode)) + " " +
               Escaped(exception->bstrSource) + " " + Escaped(exception->bstrDescription) + " " +
               Escaped(exception->bstrHelpFile) + " " + Hex(exception->dwHelpContext) +
               (exception->pfnDeferredFillIn != nullptr ? " deferred" : "");
  }
  if (const UINT* argumentError = call.ArgumentError()) outcome += "; puArgErr " + Hex(*argumentError);
  outcome += "; settings" + Settings(object);
  outcome += call.ArgumentsUnchanged() ? "; arguments unchanged" : "; arguments CHANGED";
  return outcome;
}

std::string NamesOutcome(HRESULT hr, FuzzCall& call) {
  std::string outcome = "hr " + Hex(static_cast<ULONG>(hr)) + "; ids";
  for (UINT n = 0; n < call.NameCount() && call.Ids() != nullptr; ++n) {
    outcome += " " + std::to_string(static_cast<long>(call.Ids()[n]));
  }
  return outcome;
}

// The settings every call starts from, one per call in turn.
const wchar_t* const kStarts[] = {
    L"",
    L"Provider=P;Server=S;uid=U;pwd=W;Database=C;Connect Timeout=9;Current Language=L",
    L"Data Source=x;Initial Catalog='a;b'",
};

struct Subject {
  ComPtr<IDispatch> dispatch;
  ComPtr<IConnectionString> early;
};

class Fuzzer {
 public:
  bool SetUp() {
    for (Subject& subject : subjects_) {
      if (FAILED(CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  subject.dispatch.put_void())) ||
          FAILED(subject.dispatch->QueryInterface(IID_IConnectionString, subject.early.put_void()))) {
        return false;
      }
    }
    for (const wchar_t* start : kStarts) starts_.emplace_back(SysAllocString(start));
    return SUCCEEDED(subjects_[0].dispatch->GetTypeInfo(0, 0, info_.put())) && spy_.Register();
  }
  void TearDown() { spy_.Revoke(); }

  // Runs call `index` through the object (path 0) and through the type information alone on the
  // twin (path 1); `log` receives both outcomes. Returns the number of findings.
  int Run(uint64_t index, std::string* log) {
    FuzzCall probe(g_seed, index, nullptr);
    const bool names = probe.IsNameLookup();
    if (names) ++nameCalls_;
    const int paths = names && !probe.NamesComparable() ? 1 : 2;
    PathResult results[2];
    for (int path = 0; path < paths; ++path) {
      if (onlyPath_ < 0 || onlyPath_ == path) results[path] = RunPath(path, index);
    }
    if (results[0].outcome.rfind("hr 0;", 0) == 0) ++succeeded_;
    if (onlyPath_ >= 0) return 0;
    if (log != nullptr) {
      for (int path = 0; path < paths; ++path) {
        *log += (path == 0 ? "object:           " : "type information: ") + results[path].outcome + "; blocks left " +
                std::to_string(results[path].leaked) + "\n";
      }
    }

    int findings = 0;
    if (paths == 2 && results[0].outcome != results[1].outcome) {
      findings += Finding(index, "answers differ:\n  object:           " + results[0].outcome +
                                     "\n  type information: " + results[1].outcome);
    }
    if (paths == 1 && results[0].outcome.rfind("hr 80004003;", 0) != 0) {
      findings += Finding(index, "a null pointer not refused with E_POINTER: " + results[0].outcome);
    }
    if (results[0].kept != 0 && results[0].kept != results[1].kept) {
      findings += Finding(index, std::to_string(results[0].kept) + " reference(s) kept on an object argument");
    }
    // A block left once may be a cache the platform fills on first use: a leak is what the same
    // call leaves again, through the object and not through the type information alone.
    if (results[0].leaked > 0 && results[0].leaked != results[1].leaked) {
      const long again = RunPath(0, index).leaked - (paths == 2 ? RunPath(1, index).leaked : 0);
      if (again > 0) findings += Finding(index, std::to_string(again) + " task-allocator block(s) left behind");
    }
    return findings;
  }

  // Both objects still do what they are for, and nobody holds a reference they did not take.
  int CheckObjects(uint64_t index) {
    int findings = 0;
    for (Subject& subject : subjects_) {
      VARIANT argument;
      argument.vt = VT_BSTR;
      argument.bstrVal = SysAllocString(L"Server=after;uid=check");
      DISPPARAMS params = {&argument, nullptr, 1, 0};
      VARIANT result;
      VariantInit(&result);
      const HRESULT parsed =
          subject.dispatch->Invoke(11, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
      VariantClear(&argument);
      AutomationString uid, server;
      subject.early->get_UID(uid.put());
      subject.early->get_DataSource(server.put());
      if (parsed != S_OK || result.vt != VT_BOOL || result.boolVal != VARIANT_TRUE || uid.View() != L"check" ||
          server.View() != L"after") {
        findings += Finding(index, "the object no longer parses and answers correctly");
      }
      subject.dispatch->AddRef();
      if (subject.dispatch->Release() != 2) findings += Finding(index, "the object's reference count changed");
    }
    return findings;
  }

  uint64_t NameCalls() const { return nameCalls_; }
  uint64_t Succeeded() const { return succeeded_; }
  // For a replay: runs only the object's path (0) or only the type information's (1).
  void OnlyPath(int path) { onlyPath_ = path; }

 private:
  int Finding(uint64_t index, const std::string& what) {
    std::printf("FINDING in call %" PRIu64 " (replay with --seed %" PRIu64 " --call %" PRIu64 "): %s\n", index, g_seed,
                index, what.c_str());
    return 1;
  }

  struct PathResult {
    std::string outcome;
    long leaked = 0;  // task-allocator blocks left behind
    ULONG kept = 0;   // references kept on the object argument
  };

  PathResult RunPath(int path, uint64_t index) {
    Subject& subject = subjects_[path];
    VARIANT_BOOL parsed;
    subject.early->parse(starts_[index % starts_.size()].get(), &parsed);
    PathResult result;
    const long before = spy_.Live();
    {
      FuzzCall call(g_seed, index, nullptr);
      if (call.IsNameLookup()) {
        const HRESULT hr =
            path == 0 ? subject.dispatch->GetIDsOfNames(IID_NULL, call.Names(), call.NameCount(), call.lcid, call.Ids())
                      : info_->GetIDsOfNames(call.Names(), call.NameCount(), call.Ids());
        result.outcome = NamesOutcome(hr, call);
      } else {
        const HRESULT hr = path == 0 ? subject.dispatch->Invoke(call.id, IID_NULL, call.lcid, call.flags, call.Params(),
                                                                call.Result(), call.Exception(), call.ArgumentError())
                                     : info_->Invoke(subject.early.get(), call.id, call.flags, call.Params(),
                                                     call.Result(), call.Exception(), call.ArgumentError());
        result.outcome = InvokeOutcome(hr, call, subject.early.get());
        call.FreeReturned();
      }
      result.kept = call.ObjectReferencesKept();
    }
    result.leaked = spy_.Live() - before;
    return result;
  }

  Subject subjects_[2];
  ComPtr<ITypeInfo> info_;
  std::vector<AutomationString> starts_;
  AllocationSpy spy_;
  uint64_t nameCalls_ = 0;
  uint64_t succeeded_ = 0;
  int onlyPath_ = -1;
};

int Main(int argc, char** argv) {
  double seconds = 30;
  bool replay = false;
  uint64_t replayed = 0;
  int onlyPath = -1;
  g_seed = (static_cast<uint64_t>(GetTickCount()) << 32) ^ GetCurrentProcessId();
  for (int n = 1; n < argc; ++n) {
    const std::string option = argv[n];
    if (option == "--seconds" && n + 1 < argc) {
      seconds = std::atof(argv[++n]);
    } else if (option == "--seed" && n + 1 < argc) {
      g_seed = std::strtoull(argv[++n], nullptr, 0);
    } else if (option == "--path" && n + 1 < argc) {
      onlyPath = std::atoi(argv[++n]);
    } else if (option == "--call" && n + 1 < argc) {
      replay = true;
      replayed = std::strtoull(argv[++n], nullptr, 0);
    } else {
      std::fprintf(stderr, "usage: automation_dispatch_fuzz [--seconds S] [--seed N] [--call I] [--path 0|1]\n");
      return 2;
    }
  }

  // Freed strings kept in the automation runtime's string cache would count as left behind and
  // hide strings freed twice: the cache is turned off (SetOaNoCache, on Windows and in Wine).
  using SetOaNoCache = void(WINAPI*)();
  if (auto turnOff = reinterpret_cast<SetOaNoCache>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache")))) {
    turnOff();
  }
  if (FAILED(CoInitialize(nullptr)) || FAILED(RegisterClassByHand()) || FAILED(RegisterTypeLibrary())) {
    std::printf("FAILED: could not set up the component runtime and registration\n");
    return 2;
  }
  SetUnhandledExceptionFilter(&ReportCrash);
  int findings = 0;
  {
    Fuzzer fuzzer;
    if (!fuzzer.SetUp()) {
      std::printf("FAILED: could not create the objects or register the allocation spy\n");
      return 2;
    }
    fuzzer.OnlyPath(onlyPath);
    if (replay) {
      std::string log;
      g_call = replayed;
      { FuzzCall described(g_seed, replayed, &log); }
      std::printf("call %" PRIu64 " of seed %" PRIu64 ": %s", replayed, g_seed, log.c_str());
      std::fflush(stdout);
      log.clear();
      findings += fuzzer.Run(replayed, &log);
      std::printf("%s", log.c_str());
    } else {
      std::printf("dispatch fuzz: seed %" PRIu64 ", %.0f s\n", g_seed, seconds);
      std::fflush(stdout);
      const DWORD started = GetTickCount();
      uint64_t index = 0;
      DWORD elapsed = 0;
      while (elapsed < seconds * 1000 && findings < 20) {
        g_call = index;
        findings += fuzzer.Run(index, nullptr);
        if (++index % 512 == 0) findings += fuzzer.CheckObjects(index);
        if (index % 64 == 0) elapsed = GetTickCount() - started;
      }
      findings += fuzzer.CheckObjects(index);
      elapsed = GetTickCount() - started;
      std::printf("dispatch fuzz: %" PRIu64 " calls (%" PRIu64 " GetIDsOfNames, %" PRIu64
                  " answered S_OK) in %.1f s, %.0f calls/s, %d findings\n",
                  index, fuzzer.NameCalls(), fuzzer.Succeeded(), elapsed / 1000.0,
                  index * 1000.0 / (elapsed != 0 ? elapsed : 1), findings);
    }
    fuzzer.TearDown();
  }
  UnregisterTypeLibrary();
  UnregisterClassByHand();
  CoUninitialize();
  return findings == 0 ? 0 : 1;
}

}  // namespace
}  // namespace pellmora::testing

int main(int argc, char** argv) { return pellmora::testing::Main(argc, argv); }
