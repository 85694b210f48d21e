// Late-bound calls through IDispatch, with the type library registered for this program: names
// resolved from the name cache and by the type information, Invoke by DISPID, and failures.
#include <string>
#include <vector>

#include "com_test_support.h"

namespace pellmora::testing {
namespace {

class TypeLibraryEnvironment : public ComEnvironment {
 public:
  TypeLibraryEnvironment() : ComEnvironment(/*registerClass=*/true) {}
  void SetUp() override {
    ComEnvironment::SetUp();
    ASSERT_EQ(RegisterTypeLibrary(), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(UnregisterTypeLibrary(), S_OK);
    ComEnvironment::TearDown();
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TypeLibraryEnvironment);

ComPtr<IDispatch> NewDispatch() {
  ComPtr<IDispatch> object;
  EXPECT_EQ(CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()),
            S_OK);
  return object;
}

HRESULT IdOfName(IDispatch* object, const wchar_t* name, DISPID* id) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

// Late-bound property get: the text, or the failure as an HRESULT in `result`.
std::wstring GetProperty(IDispatch* object, DISPID id, HRESULT* result = nullptr) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (result != nullptr) *result = hr;
  std::wstring text = SUCCEEDED(hr) && value.vt == VT_BSTR ? Text(value.bstrVal) : L"<not a string>";
  VariantClear(&value);
  return text;
}

HRESULT PutProperty(IDispatch* object, DISPID id, const wchar_t* text) {
  VARIANT value;
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(text);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  VariantClear(&value);
  return hr;
}

struct Member {
  const wchar_t* name;
  DISPID id;
  bool writable;
};

const Member kProperties[] = {
    {L"UID", 1, true},         {L"PassWord", 2, true},       {L"Catalog", 3, true},
    {L"Provider", 4, true},    {L"DataSource", 5, true},     {L"Timeout", 6, true},
    {L"CurrentLanguage", 7, true}, {L"ODBCString", 8, false}, {L"OleDBString", 9, false},
    {L"OleDBString2", 10, false},
};

TEST(Dispatch, OneTypeInformation) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  UINT count = 7;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(object->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(object->GetTypeInfo(0, 0, nullptr), E_POINTER);

  ComPtr<ITypeInfo> first, second;
  ASSERT_EQ(object->GetTypeInfo(0, 0, first.put()), S_OK);
  const ULONG before = ReferenceCount(first.get());
  ASSERT_EQ(object->GetTypeInfo(7, 0, second.put()), S_OK);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(ReferenceCount(first.get()), before + 1) << "each call adds one reference for the caller";

  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(first->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualIID(attributes->guid, IID_IConnectionString));
  first->ReleaseTypeAttr(attributes);
}

TEST(Dispatch, NamesResolveToTheirDispids) {
  const struct {
    const wchar_t* name;
    DISPID id;
  } kCases[] = {
      {L"UID", 1},       {L"PassWord", 2},    {L"Catalog", 3},      {L"Provider", 4},
      {L"DataSource", 5}, {L"Timeout", 6},     {L"CurrentLanguage", 7}, {L"ODBCString", 8},
      {L"OleDBString", 9}, {L"OleDBString2", 10}, {L"parse", 11},    {L"Reset", 12},
      // Not spelled as in the library: the same DISPIDs as the type information gives.
      {L"TIMEOUT", 6},   {L"password", 2},    {L"Parse", 11},       {L"oledbstring2", 10},
  };
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  for (const auto& row : kCases) {
    DISPID id = 12345;
    EXPECT_EQ(IdOfName(object.get(), row.name, &id), S_OK) << row.name;
    EXPECT_EQ(id, row.id) << row.name;
  }
}

TEST(Dispatch, UnknownNamesAndBadPointersFail) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  const wchar_t* kUnknown[] = {L"Timeou", L"Timeout2", L"", L"pVal", L"ConnectionString"};
  for (const wchar_t* name : kUnknown) {
    DISPID id = 12345;
    EXPECT_EQ(IdOfName(object.get(), name, &id), DISP_E_UNKNOWNNAME) << name;
    EXPECT_EQ(id, DISPID_UNKNOWN) << name;
  }
  DISPID id = 0;
  LPOLESTR nullName[] = {nullptr};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, nullName, 1, 0, &id), E_POINTER);
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_POINTER);
  LPOLESTR name[] = {const_cast<LPOLESTR>(L"parse")};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, name, 1, 0, nullptr), E_POINTER);
}

TEST(Dispatch, TwoNamesResolveTheMemberAndItsParameter) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"parse"), const_cast<LPOLESTR>(L"strConnection")};
  DISPID ids[2] = {-7, -7};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 11);
  EXPECT_EQ(ids[1], 0);
}

TEST(Dispatch, PropertiesByDispid) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  for (const Member& member : kProperties) {
    if (!member.writable) continue;
    EXPECT_EQ(GetProperty(object.get(), member.id), L"") << member.name;
    EXPECT_EQ(PutProperty(object.get(), member.id, member.name), S_OK) << member.name;
    EXPECT_EQ(GetProperty(object.get(), member.id), member.name) << member.name;
  }
  // The forms, as the early-bound getters give them.
  ComPtr<IConnectionString> early;
  ASSERT_EQ(object->QueryInterface(IID_IConnectionString, early.put_void()), S_OK);
  AutomationString form;
  ASSERT_EQ(early->get_OleDBString(form.put()), S_OK);
  EXPECT_EQ(GetProperty(object.get(), 9), Text(form.get()));
  ASSERT_EQ(early->get_ODBCString(form.put()), S_OK);
  EXPECT_EQ(GetProperty(object.get(), 8), Text(form.get()));
  ASSERT_EQ(early->get_OleDBString2(form.put()), S_OK);
  EXPECT_EQ(GetProperty(object.get(), 10), Text(form.get()));
}

TEST(Dispatch, PutOnAReadOnlyPropertyFailsAndChangesNothing) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  ASSERT_EQ(PutProperty(object.get(), 5, L"srv"), S_OK);
  for (const Member& member : kProperties) {
    if (member.writable) continue;
    const std::wstring before = GetProperty(object.get(), member.id);
    EXPECT_TRUE(FAILED(PutProperty(object.get(), member.id, L"x"))) << member.name;
    EXPECT_EQ(GetProperty(object.get(), member.id), before) << member.name;
  }
  EXPECT_EQ(GetProperty(object.get(), 5), L"srv");
}

TEST(Dispatch, ParseAndResetByDispid) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  VARIANT argument;
  argument.vt = VT_BSTR;
  argument.bstrVal = SysAllocString(L"Server=s1;Database=d1;UID=u1");
  DISPPARAMS params = {&argument, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(object->Invoke(11, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
  VariantClear(&argument);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  EXPECT_EQ(GetProperty(object.get(), 5), L"s1");
  EXPECT_EQ(GetProperty(object.get(), 3), L"d1");
  EXPECT_EQ(GetProperty(object.get(), 1), L"u1");

  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(object->Invoke(12, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
  for (const Member& member : kProperties) {
    if (member.writable) {
      EXPECT_EQ(GetProperty(object.get(), member.id), L"") << member.name;
    }
  }
}

TEST(Dispatch, InvokeFailuresComeFromTheTypeInformation) {
  ComPtr<IDispatch> object = NewDispatch();
  ASSERT_TRUE(object);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(object->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  // parse without its argument.
  EXPECT_TRUE(FAILED(object->Invoke(11, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr)));
  VariantClear(&result);
}

TEST(Dispatch, AnAggregatedObjectDispatchesToo) {
  // A minimal outer object that only holds the inner one.
  struct Outer : IUnknown {
    ULONG count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
  } outer;
  ComPtr<IUnknown> inner;
  ASSERT_EQ(CoCreateInstance(CLSID_ConnectionString, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, inner.put_void()), S_OK);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  DISPID id = 0;
  EXPECT_EQ(IdOfName(dispatch, L"Catalog", &id), S_OK);
  EXPECT_EQ(PutProperty(dispatch, id, L"cat"), S_OK);
  EXPECT_EQ(GetProperty(dispatch, id), L"cat");
  dispatch->Release();
  EXPECT_EQ(outer.count, 1u);
}

}  // namespace
}  // namespace pellmora::testing
