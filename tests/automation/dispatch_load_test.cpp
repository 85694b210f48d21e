// The type information's life in the module: dispatch fails with the load error while the type
// library is not registered, works once it is registered with no other action, and the module
// gives its reference back when it is unloaded. The DLL is loaded with LoadLibrary so that the
// test decides when it goes away.
#include "com_test_support.h"

namespace pellmora::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment(/*registerClass=*/false));

class LoadedLibrary {
 public:
  LoadedLibrary() : module_(LoadLibraryW(DllPath().c_str())), entries_(EntryPointsOf(module_)) {}
  ~LoadedLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }
  ComPtr<IDispatch> NewObject() const {
    ComPtr<IClassFactory> factory;
    ComPtr<IDispatch> object;
    EXPECT_EQ(entries_.DllGetClassObject(&CLSID_ConnectionString, &IID_IClassFactory, factory.put_void()), S_OK);
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
    }
    return object;
  }
  void Unload() {
    FreeLibrary(module_);
    module_ = nullptr;
  }

 private:
  HMODULE module_;
  EntryPoints entries_;
};

TEST(DispatchLoad, FailsWhileTheLibraryIsUnregisteredAndWorksOnceRegistered) {
  UnregisterTypeLibrary();  // whatever an earlier run left behind
  ComPtr<ITypeLib> unregistered;
  const HRESULT loadError = LoadRegTypeLib(LIBID_PellmoraLib, 1, 0, 0, unregistered.put());
  ASSERT_TRUE(FAILED(loadError));

  LoadedLibrary dll;
  ASSERT_NE(dll.get(), nullptr);
  ComPtr<IDispatch> object = dll.NewObject();
  ASSERT_TRUE(object);

  UINT count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_EQ(object->GetTypeInfo(0, 0, &info), loadError);
  EXPECT_EQ(info, nullptr);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Reset")};
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), loadError);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(object->Invoke(12, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), loadError);

  ASSERT_EQ(RegisterTypeLibrary(), S_OK);
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 12);
  EXPECT_EQ(object->Invoke(12, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
  ComPtr<ITypeInfo> loaded;
  EXPECT_EQ(object->GetTypeInfo(0, 0, loaded.put()), S_OK);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(UnregisterTypeLibrary(), S_OK);
}

TEST(DispatchLoad, UnloadingTheModuleGivesBackItsTypeInformation) {
  ASSERT_EQ(RegisterTypeLibrary(), S_OK);
  ComPtr<ITypeInfo> info;
  {
    LoadedLibrary dll;
    ASSERT_NE(dll.get(), nullptr);
    ComPtr<IDispatch> object = dll.NewObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(object->GetTypeInfo(0, 0, info.put()), S_OK);
    const ULONG held = ReferenceCount(info.get());
    object.reset();
    EXPECT_EQ(ReferenceCount(info.get()), held) << "objects hold no reference of their own";
    dll.Unload();
    EXPECT_EQ(LoadedDll(), nullptr) << "the DLL stays loaded";
    EXPECT_EQ(ReferenceCount(info.get()), held - 1) << "the module's reference was not given back";
  }
  EXPECT_EQ(UnregisterTypeLibrary(), S_OK);
}

}  // namespace
}  // namespace pellmora::testing
