// The exported entry points, the object map and the class factory, on a copy of the DLL loaded
// with LoadLibrary for each test: export table, DllCanUnloadNow before, during and after objects,
// factories and LockServer, factory caching, aggregation requests, and unloading.
#include <thread>
#include <vector>

#include "com_test_support.h"

namespace pellmora::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment(/*registerClass=*/false));

class Module : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadedDll(), nullptr) << "an earlier test left the DLL loaded";
    module_ = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module_, nullptr);
    dll_ = EntryPointsOf(module_);
    ASSERT_NE(dll_.DllCanUnloadNow, nullptr);
    ASSERT_NE(dll_.DllGetClassObject, nullptr);
    EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK) << "a freshly loaded library holds nothing";
  }
  void TearDown() override {
    if (module_ == nullptr) return;
    EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK) << "the test left a lock behind";
    FreeLibrary(module_);
    EXPECT_EQ(LoadedDll(), nullptr);
  }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(dll_.DllGetClassObject(&CLSID_ConnectionString, &IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
  }

  HMODULE module_ = nullptr;
  EntryPoints dll_;
};

TEST_F(Module, ExportsTheFiveEntryPointsByNameAndOrdinal) {
  const char* kNames[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                          "DllInstall"};
  for (WORD ordinal = 1; ordinal <= 5; ++ordinal) {
    FARPROC byName = GetProcAddress(module_, kNames[ordinal - 1]);
    EXPECT_NE(byName, nullptr) << kNames[ordinal - 1];
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))),
              reinterpret_cast<void*>(byName))
        << kNames[ordinal - 1];
  }
  EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(6)), nullptr);
}

TEST_F(Module, ClassObjectRequestsThatFail) {
  const GUID kOtherClass = {0x2CE7C78C, 0x4E98, 0x4491, {0x9D, 0xDD, 0x6B, 0x8D, 0x55, 0x4A, 0x3F, 0xE8}};
  const struct {
    const char* what;
    const CLSID* clsid;
    const IID* iid;
    bool withOut;
    HRESULT expected;
  } kCases[] = {
      {"unknown class", &kOtherClass, &IID_IClassFactory, true, CLASS_E_CLASSNOTAVAILABLE},
      {"interface identifier of the class", &IID_IConnectionString, &IID_IClassFactory, true,
       CLASS_E_CLASSNOTAVAILABLE},
      {"null class identifier", nullptr, &IID_IClassFactory, true, E_INVALIDARG},
      {"null interface identifier", &CLSID_ConnectionString, nullptr, true, E_INVALIDARG},
      {"both null", nullptr, nullptr, true, E_INVALIDARG},
      {"null out pointer", &CLSID_ConnectionString, &IID_IClassFactory, false, E_POINTER},
      {"interface the factory lacks", &CLSID_ConnectionString, &IID_IDispatch, true, E_NOINTERFACE},
  };
  for (const auto& row : kCases) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(dll_.DllGetClassObject(row.clsid, row.iid, row.withOut ? &out : nullptr), row.expected) << row.what;
    if (row.withOut) {
      EXPECT_EQ(out, nullptr) << row.what;
    }
  }
}

TEST_F(Module, TheFactoryIsCreatedOnceAndCached) {
  // The first request creates the factory even though it fails; later ones find it.
  void* out = nullptr;
  EXPECT_EQ(dll_.DllGetClassObject(&CLSID_ConnectionString, &IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);

  ComPtr<IClassFactory> first = Factory();
  ComPtr<IClassFactory> second = Factory();
  ASSERT_TRUE(first);
  EXPECT_EQ(first.get(), second.get());
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(dll_.DllGetClassObject(&CLSID_ConnectionString, &IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(first.get()));
  // The cache's reference plus the three handed out here.
  EXPECT_REFCOUNT(first.get(), 4);
}

TEST_F(Module, ConcurrentFirstRequestsShareOneFactory) {
  constexpr int kThreads = 8;
  std::vector<IClassFactory*> factories(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int index = 0; index < kThreads; ++index) {
    threads.emplace_back([&, index] {
      dll_.DllGetClassObject(&CLSID_ConnectionString, &IID_IClassFactory, reinterpret_cast<void**>(&factories[index]));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (IClassFactory* factory : factories) {
    EXPECT_EQ(factory, factories[0]);
    if (factory != nullptr) factory->Release();
  }
  ASSERT_NE(factories[0], nullptr);
}

TEST_F(Module, AHeldFactoryHoldsTheModuleButTheCachedOneDoesNot) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  ComPtr<IClassFactory> another = factory;
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  another.reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  factory.reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
  // Still cached: the next request hands out the same object again.
  EXPECT_TRUE(Factory());
}

TEST_F(Module, LockServerIsCountedByTheModule) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  IClassFactory* raw = factory.get();
  factory.reset();  // the cache keeps it alive
  EXPECT_EQ(raw->LockServer(TRUE), S_OK);
  EXPECT_EQ(raw->LockServer(TRUE), S_OK);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(raw->LockServer(FALSE), S_OK);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(raw->LockServer(FALSE), S_OK);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
  // Unbalanced calls are the caller's business; they still succeed.
  EXPECT_EQ(raw->LockServer(FALSE), S_OK);
  EXPECT_EQ(raw->LockServer(TRUE), S_OK);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

TEST_F(Module, ObjectsHoldTheModuleUntilTheyAreDestroyed) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  ComPtr<IConnectionString> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IConnectionString, object.put_void()), S_OK);
  factory.reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  EXPECT_REFCOUNT(object.get(), 1);
  EXPECT_EQ(object.detach()->Release(), 0u);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

TEST_F(Module, CreateInstanceArguments) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  // Any IUnknown stands in as the outer object: the requests below never create an object.
  ComPtr<IUnknown> outer;
  ASSERT_EQ(factory->QueryInterface(IID_IUnknown, outer.put_void()), S_OK);
  const struct {
    const char* what;
    IUnknown* outer;
    const IID* iid;
    bool withOut;
    HRESULT expected;
  } kCases[] = {
      {"null out pointer", nullptr, &IID_IConnectionString, false, E_POINTER},
      {"null out pointer with an outer object", outer.get(), &IID_IUnknown, false, E_POINTER},
      {"aggregation for IConnectionString", outer.get(), &IID_IConnectionString, true, CLASS_E_NOAGGREGATION},
      {"aggregation for IDispatch", outer.get(), &IID_IDispatch, true, CLASS_E_NOAGGREGATION},
      {"interface the object lacks", nullptr, &IID_IClassFactory, true, E_NOINTERFACE},
  };
  for (const auto& row : kCases) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(row.outer, *row.iid, row.withOut ? &out : nullptr), row.expected) << row.what;
    if (row.withOut) {
      EXPECT_EQ(out, nullptr) << row.what;
    }
  }
  outer.reset();
  factory.reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK) << "a refused request left an object behind";
}

TEST_F(Module, FactoryAnswersOnlyIUnknownAndIClassFactory) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  const IID* kRefused[] = {&IID_IDispatch, &IID_IConnectionString, &IID_IPersist, &IID_IMarshal};
  for (const IID* iid : kRefused) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->QueryInterface(*iid, &out), E_NOINTERFACE) << GuidText(*iid);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(Module, UnloadsAfterEverythingIsReleasedEvenWithACachedFactory) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IConnectionString> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IConnectionString, object.put_void()), S_OK);
  object.reset();
  factory.reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
  FreeLibrary(module_);
  module_ = nullptr;
  EXPECT_EQ(LoadedDll(), nullptr);
}

// The loader swallows faults raised while it detaches libraries; this makes one end the process
// with a code of its own so that the test sees it.
LONG CALLBACK EndProcessOnFault(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
    TerminateProcess(GetCurrentProcess(), 99);
  return EXCEPTION_CONTINUE_SEARCH;
}

// At process exit the module is torn down whatever clients still hold. Releasing the cached
// factory, which a client also holds, must not touch the module that is already gone.
TEST(ModuleExitDeathTest, AProcessMayExitWhileAClientHoldsTheFactoryAndAnObject) {
  EXPECT_EXIT(
      {
        AddVectoredExceptionHandler(1, EndProcessOnFault);
        HMODULE module = LoadLibraryW(DllPath().c_str());
        IClassFactory* factory = nullptr;
        IUnknown* object = nullptr;
        if (module != nullptr &&
            SUCCEEDED(EntryPointsOf(module).DllGetClassObject(&CLSID_ConnectionString, &IID_IClassFactory,
                                                              reinterpret_cast<void**>(&factory)))) {
          factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
        }
        ExitProcess(factory != nullptr && object != nullptr ? 7 : 3);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace pellmora::testing
