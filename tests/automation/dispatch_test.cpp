// Late-bound calls through IDispatch, with the type library registered for this program: names
// resolved from the name cache and by the type information, Invoke by DISPID, and failures.
#include <cwchar>
#include <string>
#include <vector>

#include "automation/text_argument.h"
#include "com_test_support.h"
#include "setting_getters.h"

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
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
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
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  VariantClear(&value);
  return hr;
}

struct Member {
  const wchar_t* name;
  DISPID id;
  bool writable;
};

const Member kProperties[] = {
    {L"UID", 1, true},          {L"PassWord", 2, true},       {L"Catalog", 3, true},         {L"Provider", 4, true},
    {L"DataSource", 5, true},   {L"Timeout", 6, true},        {L"CurrentLanguage", 7, true}, {L"ODBCString", 8, false},
    {L"OleDBString", 9, false}, {L"OleDBString2", 10, false},
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
      {L"UID", 1},
      {L"PassWord", 2},
      {L"Catalog", 3},
      {L"Provider", 4},
      {L"DataSource", 5},
      {L"Timeout", 6},
      {L"CurrentLanguage", 7},
      {L"ODBCString", 8},
      {L"OleDBString", 9},
      {L"OleDBString2", 10},
      {L"parse", 11},
      {L"Reset", 12},
      // Not spelled as in the library: the same DISPIDs as the type information gives.
      {L"TIMEOUT", 6},
      {L"password", 2},
      {L"Parse", 11},
      {L"oledbstring2", 10},
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
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, nullptr, 0, 0, &id), E_POINTER) << "no names, but a null array";
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
  ASSERT_EQ(CoCreateInstance(CLSID_ConnectionString, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, inner.put_void()),
            S_OK);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  DISPID id = 0;
  EXPECT_EQ(IdOfName(dispatch, L"Catalog", &id), S_OK);
  EXPECT_EQ(PutProperty(dispatch, id, L"cat"), S_OK);
  EXPECT_EQ(GetProperty(dispatch, id), L"cat");
  dispatch->Release();
  EXPECT_EQ(outer.count, 1u);
}

// ---- Invoke decoded by the object against the type information's own Invoke ----

// The arguments of one call, built afresh for each path; what a by-reference argument points at
// lives here too, so that both paths can be checked for what they did to it.
struct CallArguments {
  VARIANT values[2];
  DISPID names[2] = {};
  UINT count = 0;
  UINT namedCount = 0;
  BSTR referencedText = nullptr;
  VARIANT referencedValue;
  ComPtr<IDispatch> object;  // the value of a VT_DISPATCH argument
  bool withoutParams = false;
  DISPPARAMS params = {};

  CallArguments() {
    for (VARIANT& value : values) VariantInit(&value);
    VariantInit(&referencedValue);
  }
  ~CallArguments() {
    for (VARIANT& value : values) VariantClear(&value);
    SysFreeString(referencedText);
    VariantClear(&referencedValue);
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;

  VARIANT& Next() { return values[count++]; }
  // The next argument as a variant by reference, to `referencedValue`, which is returned.
  VARIANT& NextByReference() {
    VARIANT& value = Next();
    value.vt = VT_VARIANT | VT_BYREF;
    value.pvarVal = &referencedValue;
    return referencedValue;
  }
  DISPPARAMS* Params() {
    if (withoutParams) return nullptr;
    params = {count != 0 ? values : nullptr, namedCount != 0 ? names : nullptr, count, namedCount};
    return &params;
  }
};

// A variant as text, for comparison: its type and, where it has one, its value as text.
std::wstring Describe(const VARIANT& value) {
  std::wstring described = L"vt " + std::to_wstring(value.vt);
  if (value.vt == VT_BSTR) return described + L" \"" + Text(value.bstrVal) + L"\"";
  VARIANT text;
  VariantInit(&text);
  if ((value.vt & VT_BYREF) == 0 && value.vt != VT_DISPATCH &&
      SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
    described += L" " + Text(text.bstrVal);
  }
  VariantClear(&text);
  return described;
}

void SetText(VARIANT& value, const wchar_t* text) {
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(text);
}

// The argument shapes: what script hosts send, and what they must not.
// `text`: the direct path takes the only argument as the member's text (only the string shapes
// script hosts pass); every other shape goes to the type information, which converts it.
struct Shape {
  const char* name;
  void (*build)(CallArguments&);
  bool text = false;
};
const Shape kShapes[] = {
    {"none", [](CallArguments&) {}},
    {"no DISPPARAMS", [](CallArguments& a) { a.withoutParams = true; }},
    {"string", [](CallArguments& a) { SetText(a.Next(), L"Server=s;uid=u;Database='d''b'"); }, true},
    {"null string", [](CallArguments& a) { a.Next().vt = VT_BSTR; }, true},
    {"string with a NUL",
     [](CallArguments& a) {
       VARIANT& value = a.Next();
       value.vt = VT_BSTR;
       value.bstrVal = SysAllocStringLen(L"uid=a\0pwd=b", 11);
     },
     true},
    {"string by reference",
     [](CallArguments& a) {
       a.referencedText = SysAllocString(L"Data Source=by ref");
       VARIANT& value = a.Next();
       value.vt = VT_BSTR | VT_BYREF;
       value.pbstrVal = &a.referencedText;
     },
     true},
    {"string by reference to nothing", [](CallArguments& a) { a.Next().vt = VT_BSTR | VT_BYREF; }},
    {"variant by reference to nothing", [](CallArguments& a) { a.Next().vt = VT_VARIANT | VT_BYREF; }},
    {"variant by reference holding a string",
     [](CallArguments& a) { SetText(a.NextByReference(), L"pwd=in a variable"); }, true},
    {"variant by reference holding a short integer",
     [](CallArguments& a) {
       VARIANT& held = a.NextByReference();
       held.vt = VT_I2;
       held.iVal = -30;
     }},
    {"variant by reference holding null", [](CallArguments& a) { a.NextByReference().vt = VT_NULL; }},
    {"short integer", [](CallArguments& a) { a.Next().vt = VT_I2, a.values[0].iVal = 30; }},
    {"integer", [](CallArguments& a) { a.Next().vt = VT_I4, a.values[0].lVal = 2147483647; }},
    {"integer by reference",
     [](CallArguments& a) {
       static LONG referenced = 12;
       a.Next().vt = VT_I4 | VT_BYREF, a.values[0].plVal = &referenced;
     }},
    {"double", [](CallArguments& a) { a.Next().vt = VT_R8, a.values[0].dblVal = 1.5; }},
    {"boolean true", [](CallArguments& a) { a.Next().vt = VT_BOOL, a.values[0].boolVal = VARIANT_TRUE; }},
    {"boolean false", [](CallArguments& a) { a.Next().vt = VT_BOOL, a.values[0].boolVal = VARIANT_FALSE; }},
    {"date", [](CallArguments& a) { a.Next().vt = VT_DATE, a.values[0].date = 45000.25; }},
    {"currency", [](CallArguments& a) { a.Next().vt = VT_CY, a.values[0].cyVal.int64 = 123456; }},
    {"byte", [](CallArguments& a) { a.Next().vt = VT_UI1, a.values[0].bVal = 200; }},
    {"signed byte", [](CallArguments& a) { a.Next().vt = VT_I1, a.values[0].cVal = -5; }},
    {"unsigned short", [](CallArguments& a) { a.Next().vt = VT_UI2, a.values[0].uiVal = 65535; }},
    {"unsigned integer", [](CallArguments& a) { a.Next().vt = VT_UI4, a.values[0].ulVal = 4000000000u; }},
    {"64-bit integer", [](CallArguments& a) { a.Next().vt = VT_I8, a.values[0].llVal = -1234567890123ll; }},
    {"unsigned 64-bit integer", [](CallArguments& a) { a.Next().vt = VT_UI8, a.values[0].ullVal = ~0ull; }},
    {"machine integer", [](CallArguments& a) { a.Next().vt = VT_INT, a.values[0].intVal = -7; }},
    {"unsigned machine integer", [](CallArguments& a) { a.Next().vt = VT_UINT, a.values[0].uintVal = 7; }},
    {"float", [](CallArguments& a) { a.Next().vt = VT_R4, a.values[0].fltVal = 3.5f; }},
    {"decimal",
     [](CallArguments& a) {
       VARIANT& value = a.Next();
       value.decVal = {};  // overlaps vt, so it comes first
       value.decVal.scale = 1;
       value.decVal.Lo64 = 35;
       value.vt = VT_DECIMAL;
     }},
    {"date by reference",
     [](CallArguments& a) {
       static DATE referenced = 45000.5;
       a.Next().vt = VT_DATE | VT_BYREF, a.values[0].pdate = &referenced;
     }},
    {"double by reference",
     [](CallArguments& a) {
       static double referenced = 2.5;
       a.Next().vt = VT_R8 | VT_BYREF, a.values[0].pdblVal = &referenced;
     }},
    {"boolean by reference",
     [](CallArguments& a) {
       static VARIANT_BOOL referenced = VARIANT_TRUE;
       a.Next().vt = VT_BOOL | VT_BYREF, a.values[0].pboolVal = &referenced;
     }},
    {"variant by reference holding a date",
     [](CallArguments& a) {
       VARIANT& held = a.NextByReference();
       held.vt = VT_DATE, held.date = 45000.75;
     }},
    {"variant by reference holding a double",
     [](CallArguments& a) {
       VARIANT& held = a.NextByReference();
       held.vt = VT_R8, held.dblVal = -0.5;
     }},
    {"variant by reference holding a boolean",
     [](CallArguments& a) {
       VARIANT& held = a.NextByReference();
       held.vt = VT_BOOL, held.boolVal = VARIANT_FALSE;
     }},
    {"variant by reference holding a string by reference",
     [](CallArguments& a) {
       a.referencedText = SysAllocString(L"uid=two steps away");
       VARIANT& held = a.NextByReference();
       held.vt = VT_BSTR | VT_BYREF, held.pbstrVal = &a.referencedText;
     }},
    {"empty", [](CallArguments& a) { a.Next().vt = VT_EMPTY; }},
    {"null", [](CallArguments& a) { a.Next().vt = VT_NULL; }},
    {"missing (VT_ERROR)", [](CallArguments& a) { a.Next().vt = VT_ERROR, a.values[0].scode = DISP_E_PARAMNOTFOUND; }},
    {"object without a value",
     [](CallArguments& a) {
       EXPECT_EQ(
           CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, a.object.put_void()),
           S_OK);
       a.Next().vt = VT_DISPATCH, a.values[0].pdispVal = a.object.get();
       a.object->AddRef();
     }},
    {"two strings",
     [](CallArguments& a) {
       SetText(a.Next(), L"uid=second");
       SetText(a.Next(), L"uid=first");
     }},
};

// Only the string shapes are taken on the direct path; the type information converts every other
// shape, so that the text a number, date or boolean becomes is the platform's on every version.
TEST(Dispatch, OnlyStringShapesTakeTheDirectPath) {
  for (const Shape& shape : kShapes) {
    CallArguments arguments;
    shape.build(arguments);
    if (arguments.count != 1 || arguments.withoutParams) continue;
    BSTR text = nullptr;
    EXPECT_EQ(TextArgument(arguments.values[0], &text), shape.text) << shape.name;
  }
}

// How the arguments are named: positional, the put's value, parse's parameter, an unknown name.
const struct {
  const char* name;
  DISPID id;
  bool named;
} kNamings[] = {{"positional", 0, false},
                {"named as the put's value", DISPID_PROPERTYPUT, true},
                {"named strConnection", 0, true},
                {"named 7", 7, true}};

const struct {
  const char* name;
  WORD flags;
} kFlags[] = {{"get", DISPATCH_PROPERTYGET},
              {"method", DISPATCH_METHOD},
              {"get or method", DISPATCH_PROPERTYGET | DISPATCH_METHOD},
              {"put", DISPATCH_PROPERTYPUT},
              {"putref", DISPATCH_PROPERTYPUTREF}};

// Everything a call can change: its result, the out-parameters, the object's settings and what
// the arguments point at.
std::wstring Outcome(HRESULT hr, const VARIANT* result, const EXCEPINFO* exception, const UINT* argumentError,
                     IConnectionString* object, const CallArguments& arguments) {
  wchar_t code[16];
  swprintf(code, 16, L"%08lX", static_cast<unsigned long>(hr));
  std::wstring outcome = L"hr " + std::wstring(code);
  if (result != nullptr) outcome += L"; result " + Describe(*result);
  if (exception != nullptr) {
    outcome += L"; excepinfo " + std::to_wstring(exception->wCode) + L" " + std::to_wstring(exception->scode) + L" [" +
               Text(exception->bstrSource) + L"] [" + Text(exception->bstrDescription) + L"] [" +
               Text(exception->bstrHelpFile) + L"] " + std::to_wstring(exception->dwHelpContext) +
               (exception->pfnDeferredFillIn != nullptr ? L" deferred" : L"");
  }
  if (argumentError != nullptr) outcome += L"; puArgErr " + std::to_wstring(*argumentError);
  outcome += L"; settings";
  for (const auto get : kSettingGetters) {
    AutomationString field;
    (object->*get)(field.put());
    outcome += L" [" + Text(field.get()) + L"]";
  }
  outcome += L"; arguments [" + Text(arguments.referencedText) + L"] " + Describe(arguments.referencedValue);
  for (UINT n = 0; n < arguments.count; ++n) outcome += L" " + Describe(arguments.values[n]);
  return outcome;
}

// Every member (and one DISPID the library lacks) with every flag, argument shape and naming,
// with and without the out-parameters: the object's Invoke, which decodes the common calls
// itself, gives exactly what the type information's Invoke gives for the same call on a twin.
TEST(Dispatch, InvokeGivesWhatTheTypeInformationGives) {
  ComPtr<IDispatch> direct = NewDispatch();
  ComPtr<IDispatch> twin = NewDispatch();
  ASSERT_TRUE(direct && twin);
  ComPtr<IConnectionString> directEarly, twinEarly;
  ASSERT_EQ(direct->QueryInterface(IID_IConnectionString, directEarly.put_void()), S_OK);
  ASSERT_EQ(twin->QueryInterface(IID_IConnectionString, twinEarly.put_void()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(direct->GetTypeInfo(0, 0, info.put()), S_OK);

  AutomationString start(
      SysAllocString(L"Provider=P;Server=S;uid=U;pwd=W;Database=C;Connect Timeout=9;"
                     L"Current Language=L"));
  int calls = 0;
  for (DISPID id = 1; id <= 13; ++id) {
    for (const auto& flags : kFlags) {
      for (const Shape& shape : kShapes) {
        for (const auto& naming : kNamings) {
          for (const bool withOutputs : {true, false}) {
            // A naming applies to calls with arguments; every other call is made once, positional.
            CallArguments probe;
            shape.build(probe);
            if ((probe.count == 0 || probe.withoutParams) && naming.named) continue;

            std::wstring outcomes[2];
            for (int path = 0; path < 2; ++path) {
              IConnectionString* early = path == 0 ? directEarly.get() : twinEarly.get();
              VARIANT_BOOL parsed;
              ASSERT_EQ(early->parse(start.get(), &parsed), S_OK);
              CallArguments arguments;
              shape.build(arguments);
              if (naming.named) {
                arguments.names[0] = naming.id;
                arguments.namedCount = 1;
              }
              VARIANT result;
              result.vt = VT_I4;
              result.lVal = 0x5151;
              EXCEPINFO exception = {};
              exception.wCode = 77;
              exception.scode = 0x1234;
              UINT argumentError = 0xDEAD;
              VARIANT* resultOut = withOutputs ? &result : nullptr;
              EXCEPINFO* exceptionOut = withOutputs ? &exception : nullptr;
              UINT* argumentErrorOut = withOutputs ? &argumentError : nullptr;
              const HRESULT hr = path == 0 ? direct->Invoke(id, IID_NULL, 0, flags.flags, arguments.Params(), resultOut,
                                                            exceptionOut, argumentErrorOut)
                                           : info->Invoke(early, id, flags.flags, arguments.Params(), resultOut,
                                                          exceptionOut, argumentErrorOut);
              outcomes[path] = Outcome(hr, resultOut, exceptionOut, argumentErrorOut, early, arguments);
              VariantClear(&result);
              SysFreeString(exception.bstrSource);
              SysFreeString(exception.bstrDescription);
              SysFreeString(exception.bstrHelpFile);
            }
            ++calls;
            EXPECT_EQ(outcomes[0], outcomes[1])
                << "DISPID " << id << ", " << flags.name << ", " << shape.name << ", " << naming.name
                << (withOutputs ? ", with" : ", without") << " out-parameters";
          }
        }
      }
    }
  }
  EXPECT_GT(calls, 1000);
}

}  // namespace
}  // namespace pellmora::testing
