// Identity, reference counts, aggregation and module locking of ConnectionString objects created
// through the component runtime (CoCreateInstance) from the DLL registered by hand.
#include <array>

#include "com_test_support.h"

namespace pellmora::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment(/*registerClass=*/true));

HRESULT CanUnloadNow() {
  HMODULE dll = LoadedDll();
  if (dll == nullptr) return S_OK;  // not loaded: nothing holds it
  return EntryPointsOf(dll).DllCanUnloadNow();
}

ComPtr<IConnectionString> NewObject() {
  ComPtr<IConnectionString> object;
  EXPECT_EQ(
      CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, object.put_void()),
      S_OK);
  return object;
}

TEST(ObjectIdentity, IUnknownIDispatchAndIConnectionStringShareOnePointer) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  EXPECT_REFCOUNT(object.get(), 1);

  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ComPtr<IConnectionString> again;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IConnectionString, again.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(object.get()));
  EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(object.get()));
  EXPECT_EQ(again.get(), object.get());
  EXPECT_REFCOUNT(object.get(), 4);

  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, errorInfo.put_void()), S_OK);
  EXPECT_NE(static_cast<void*>(errorInfo.get()), static_cast<void*>(object.get()));
  EXPECT_REFCOUNT(object.get(), 5);

  ComPtr<IUnknown> identity;
  ASSERT_EQ(errorInfo->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(object.get()));
  EXPECT_REFCOUNT(object.get(), 6);
}

TEST(ObjectIdentity, UnsupportedInterfacesAreRefusedWithoutChangingTheCount) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  const GUID kUnknownInterface = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  const std::array<const IID*, 5> kRefused = {&IID_IClassFactory, &IID_IPersist, &IID_IMarshal, &IID_ITypeInfo,
                                              &kUnknownInterface};
  for (const IID* iid : kRefused) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOINTERFACE) << GuidText(*iid);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_REFCOUNT(object.get(), 1);
}

TEST(ObjectIdentity, OnlyIConnectionStringSupportsErrorInformation) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, errorInfo.put_void()), S_OK);
  const struct {
    const IID* iid;
    HRESULT expected;
  } kCases[] = {{&IID_IConnectionString, S_OK},
                {&IID_IDispatch, S_FALSE},
                {&IID_IUnknown, S_FALSE},
                {&IID_ISupportErrorInfo, S_FALSE}};
  for (const auto& row : kCases)
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(*row.iid), row.expected) << GuidText(*row.iid);
}

TEST(ObjectIdentity, CreationAnswersTheRequestedInterfaceWithOneReference) {
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_ISupportErrorInfo,
                             errorInfo.put_void()),
            S_OK);
  EXPECT_REFCOUNT(errorInfo.get(), 1);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IConnectionString), S_OK);
}

TEST(ObjectIdentity, CreationForAMissingInterfaceLeavesNothingBehind) {
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(ObjectIdentity, EachLiveObjectHoldsTheModule) {
  ComPtr<IConnectionString> first = NewObject();
  ComPtr<IConnectionString> second = NewObject();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(first.detach()->Release(), 0u);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(second.detach()->Release(), 0u);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

// An outer object that aggregates a ConnectionString: it delegates IConnectionString to the
// inner object and counts its own references.
class TestOuter : public IUnknown {
 public:
  HRESULT Aggregate(REFIID iid) {
    return CoCreateInstance(CLSID_ConnectionString, this, CLSCTX_INPROC_SERVER, iid, inner_.put_void());
  }
  IUnknown* Inner() const { return inner_.get(); }
  void DropInner() { inner_.reset(); }
  ULONG Count() const { return count_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (inner_ && (IsEqualIID(iid, IID_IConnectionString) || IsEqualIID(iid, IID_IDispatch)))
      return inner_->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override { return --count_; }  // lives on the test's stack

 private:
  ULONG count_ = 1;
  ComPtr<IUnknown> inner_;
};

TEST(Aggregation, InterfacesOfTheInnerObjectCountOnTheOuterObject) {
  TestOuter outer;
  ASSERT_EQ(outer.Aggregate(IID_IUnknown), S_OK);
  IUnknown* inner = outer.Inner();
  EXPECT_REFCOUNT(inner, 1);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);

  ComPtr<IUnknown> innerAgain;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, innerAgain.put_void()), S_OK);
  EXPECT_EQ(innerAgain.get(), inner);
  EXPECT_REFCOUNT(inner, 2);
  innerAgain.reset();

  IConnectionString* contained = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IConnectionString, reinterpret_cast<void**>(&contained)), S_OK);
  EXPECT_EQ(outer.Count(), 2u);
  EXPECT_REFCOUNT(inner, 1);
  EXPECT_EQ(contained->AddRef(), 3u);
  EXPECT_EQ(outer.Count(), 3u);
  EXPECT_EQ(contained->Release(), 2u);
  EXPECT_REFCOUNT(inner, 1);

  // The contained object's identity is the outer object's.
  IUnknown* identity = nullptr;
  ASSERT_EQ(contained->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();

  // It works like a standalone object.
  AutomationString text(SysAllocString(L"Server=db1"));
  VARIANT_BOOL succeeded = VARIANT_FALSE;
  EXPECT_EQ(contained->parse(text.get(), &succeeded), S_OK);
  AutomationString source;
  EXPECT_EQ(contained->get_DataSource(source.put()), S_OK);
  EXPECT_EQ(Text(source.get()), L"db1");

  // Through the outer object, as a client sees it.
  ComPtr<IConnectionString> viaOuter;
  ASSERT_EQ(outer.QueryInterface(IID_IConnectionString, viaOuter.put_void()), S_OK);
  EXPECT_EQ(viaOuter.get(), contained);
  viaOuter.reset();

  contained->Release();
  EXPECT_EQ(outer.Count(), 1u);
  outer.DropInner();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(Aggregation, AnyInterfaceButIUnknownIsRefusedAndNothingIsCreated) {
  TestOuter outer;
  EXPECT_EQ(outer.Aggregate(IID_IConnectionString), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(outer.Inner(), nullptr);
  EXPECT_EQ(outer.Count(), 1u);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pellmora::testing
