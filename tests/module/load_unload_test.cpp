// Loading and unloading the library gives back everything a cycle took. Long-running hosts load
// and unload idle components all day, so every cycle of LoadLibrary, class object, object, early-
// and late-bound calls, DllCanUnloadNow and FreeLibrary must leave the process as it found it:
// the same free TLS slots, private memory, kernel handles and loaded modules.
//
// The entry points are called directly, not through CoCreateInstance, whose cache would keep the
// library loaded. A crash inside the cycles ends the program with the exception's code at once.
#include "com_test_support.h"

#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace pellmora::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment(/*registerClass=*/false));

// Enough cycles that a slot, a handle or a few hundred bytes kept per cycle stand out clearly.
constexpr int kCycles = 1000;
// First cycles, before the figures are taken: the runtime loads and caches what it needs once.
constexpr int kWarmUpCycles = 30;
// Heap growth that is not a leak: the heap keeps freed blocks and its segments grow in steps.
constexpr SIZE_T kPrivateMemorySlack = 256 * 1024;

// How many TLS slots the process can still allocate: all of them are taken, then given back.
int FreeTlsSlots() {
  std::vector<DWORD> slots;
  for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) slots.push_back(slot);
  for (DWORD slot : slots) TlsFree(slot);
  return static_cast<int>(slots.size());
}

// Committed private memory of the process, from a walk of its address space.
SIZE_T PrivateMemory() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* address = nullptr; VirtualQuery(address, &region, sizeof(region)) == sizeof(region);) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

// Open kernel handles of the process: every handle value that names an object.
int OpenHandles() {
  int count = 0;
  DWORD flags = 0;
  for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

// Modules loaded in the process.
int LoadedModules() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) ++count;
  CloseHandle(snapshot);
  return count;
}

struct Figures {
  int freeTlsSlots;
  SIZE_T privateMemory;
  int openHandles;
  int loadedModules;
};

Figures Measure() { return {FreeTlsSlots(), PrivateMemory(), OpenHandles(), LoadedModules()}; }

void Print(const char* when, const Figures& figures) {
  std::printf("%s: %d free TLS slots, %lu KiB private memory, %d handles, %d modules\n", when, figures.freeTlsSlots,
              static_cast<unsigned long>(figures.privateMemory / 1024), figures.openHandles, figures.loadedModules);
}

// A late-bound property read through the object's own type information.
HRESULT ReadByName(IDispatch* object, const wchar_t* name, VARIANT* result) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (FAILED(hr)) return hr;
  DISPPARAMS none{};
  return object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}

// One cycle; the text names the first step that failed, empty when all went well.
std::string Cycle() {
  HMODULE module = LoadLibraryW(DllPath().c_str());
  if (module == nullptr) return "LoadLibrary failed";
  const EntryPoints dll = EntryPointsOf(module);
  std::string failure;
  {
    ComPtr<IClassFactory> factory;
    ComPtr<IConnectionString> object;
    ComPtr<IDispatch> dispatch;
    VARIANT_BOOL parsed = VARIANT_FALSE;
    AutomationString text(SysAllocString(L"Server=db01;Database=Sales;uid=me;pwd='it''s'"));
    AutomationString form;
    VARIANT late;
    VariantInit(&late);
    if (dll.DllGetClassObject(&CLSID_ConnectionString, &IID_IClassFactory, factory.put_void()) != S_OK) {
      failure = "DllGetClassObject failed";
    } else if (factory->CreateInstance(nullptr, IID_IConnectionString, object.put_void()) != S_OK) {
      failure = "CreateInstance failed";
    } else if (object->parse(text.get(), &parsed) != S_OK || parsed != VARIANT_TRUE) {
      failure = "parse failed";
    } else if (object->get_OleDBString(form.put()) != S_OK || SysStringLen(form.get()) == 0) {
      failure = "OleDBString failed";
    } else if (object->QueryInterface(IID_IDispatch, dispatch.put_void()) != S_OK ||
               ReadByName(dispatch.get(), L"ODBCString", &late) != S_OK || late.vt != VT_BSTR) {
      failure = "late-bound ODBCString failed";
    } else if (object->Reset() != S_OK) {
      failure = "Reset failed";
    }
    VariantClear(&late);
  }
  if (failure.empty() && dll.DllCanUnloadNow() != S_OK) failure = "DllCanUnloadNow did not allow unloading";
  FreeLibrary(module);
  if (failure.empty() && LoadedDll() != nullptr) failure = "the library stayed loaded";
  return failure;
}

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
  std::fprintf(stderr, "crashed with exception 0x%08lX\n", exception->ExceptionRecord->ExceptionCode);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The handle count sees handles: it rises by exactly the handles opened and falls back when they
// are closed (Wine answers 0 to GetProcessHandleCount, so the count probes handle values).
TEST(LoadUnload, HandleCountSeesEveryHandle) {
  constexpr int kOpened = 16;
  const int before = OpenHandles();
  HANDLE events[kOpened];
  for (HANDLE& event : events) event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const int opened = OpenHandles();
  for (HANDLE event : events) CloseHandle(event);
  EXPECT_EQ(opened, before + kOpened);
  EXPECT_EQ(OpenHandles(), before);
}

TEST(LoadUnload, ThousandsOfCyclesKeepNothing) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(&EndOnCrash);
  ASSERT_EQ(LoadedDll(), nullptr);
  ASSERT_EQ(RegisterTypeLibrary(), S_OK);

  for (int cycle = 1; cycle <= kWarmUpCycles; ++cycle) ASSERT_EQ(Cycle(), "") << "cycle " << cycle;
  const Figures before = Measure();
  Print("before", before);
  for (int cycle = 1; cycle <= kCycles; ++cycle) ASSERT_EQ(Cycle(), "") << "cycle " << cycle;
  const Figures after = Measure();
  Print("after", after);

  EXPECT_EQ(after.freeTlsSlots, before.freeTlsSlots);
  EXPECT_EQ(after.openHandles, before.openHandles);
  EXPECT_EQ(after.loadedModules, before.loadedModules);
  EXPECT_LE(after.privateMemory, before.privateMemory + kPrivateMemorySlack);
  EXPECT_EQ(UnregisterTypeLibrary(), S_OK);
}

}  // namespace
}  // namespace pellmora::testing
