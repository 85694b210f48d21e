// The members of IConnectionString called early-bound, through the interface's function table,
// on objects created by the component runtime. The forms are compared with the connection-string
// model's own output for the same settings: this tests the wiring, the model has its own tests.
#include <string>
#include <vector>

#include "com_test_support.h"
#include "model/connection_settings.h"

namespace pellmora::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment(/*registerClass=*/true));

using Getter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR*);
using Putter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR);

struct Setting {
  const char* name;
  Getter get;
  Putter put;
  std::u16string ConnectionSettings::*field;
};

const Setting kSettings[] = {
    {"UID", &IConnectionString::get_UID, &IConnectionString::put_UID, &ConnectionSettings::UID},
    {"PassWord", &IConnectionString::get_PassWord, &IConnectionString::put_PassWord, &ConnectionSettings::PassWord},
    {"Catalog", &IConnectionString::get_Catalog, &IConnectionString::put_Catalog, &ConnectionSettings::Catalog},
    {"Provider", &IConnectionString::get_Provider, &IConnectionString::put_Provider, &ConnectionSettings::Provider},
    {"DataSource", &IConnectionString::get_DataSource, &IConnectionString::put_DataSource,
     &ConnectionSettings::DataSource},
    {"Timeout", &IConnectionString::get_Timeout, &IConnectionString::put_Timeout, &ConnectionSettings::Timeout},
    {"CurrentLanguage", &IConnectionString::get_CurrentLanguage, &IConnectionString::put_CurrentLanguage,
     &ConnectionSettings::CurrentLanguage},
};

struct Form {
  const char* name;
  Getter get;
  std::u16string (ConnectionSettings::*build)() const;
};

const Form kForms[] = {
    {"ODBCString", &IConnectionString::get_ODBCString, &ConnectionSettings::ODBCString},
    {"OleDBString", &IConnectionString::get_OleDBString, &ConnectionSettings::OleDBString},
    {"OleDBString2", &IConnectionString::get_OleDBString2, &ConnectionSettings::OleDBString2},
};

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

ComPtr<IConnectionString> NewObject() {
  ComPtr<IConnectionString> object;
  EXPECT_EQ(
      CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, object.put_void()),
      S_OK);
  return object;
}

// Reads a getter; fails the test at the caller's line unless the result is S_OK and non-null.
std::wstring Get(IConnectionString* object, Getter get) {
  AutomationString value;
  EXPECT_EQ((object->*get)(value.put()), S_OK);
  EXPECT_NE(value.get(), nullptr);
  return Text(value.get());
}

HRESULT Put(IConnectionString* object, Putter put, const wchar_t* text) {
  AutomationString value(text == nullptr ? nullptr : SysAllocString(text));
  return (object->*put)(value.get());
}

TEST(Members, ANewObjectHasEveryFieldEmptyAndNonNull) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  for (const Setting& setting : kSettings) EXPECT_EQ(Get(object.get(), setting.get), L"") << setting.name;
}

TEST(Members, APutReplacesItsOwnFieldOnly) {
  for (const Setting& target : kSettings) {
    ComPtr<IConnectionString> object = NewObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(Put(object.get(), target.put, L"first"), S_OK) << target.name;
    ASSERT_EQ(Put(object.get(), target.put, L" va;lue 'x' "), S_OK) << target.name;
    for (const Setting& other : kSettings) {
      EXPECT_EQ(Get(object.get(), other.get), &other == &target ? L" va;lue 'x' " : L"")
          << "after a put of " << target.name << ", " << other.name;
    }
  }
}

TEST(Members, IncomingTextIsCutAtNulAndANullStringIsEmpty) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  for (const Setting& setting : kSettings) {
    ASSERT_EQ(Put(object.get(), setting.put, L"something"), S_OK);
    EXPECT_EQ(Put(object.get(), setting.put, nullptr), S_OK) << setting.name;
    EXPECT_EQ(Get(object.get(), setting.get), L"") << setting.name;

    AutomationString withNul(SysAllocStringLen(L"ab\0cd", 5));
    EXPECT_EQ((object.get()->*setting.put)(withNul.get()), S_OK) << setting.name;
    EXPECT_EQ(Get(object.get(), setting.get), L"ab") << setting.name;
  }
}

TEST(Members, LongTextRoundTrips) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  std::wstring text(1 << 20, L'x');
  text[12345] = L'\x4e2d';
  ASSERT_EQ(Put(object.get(), &IConnectionString::put_Catalog, text.c_str()), S_OK);
  EXPECT_EQ(Get(object.get(), &IConnectionString::get_Catalog), text);
}

TEST(Members, ParseFillsTheSettingsAndAlwaysSucceeds) {
  const struct {
    const wchar_t* input;
    std::vector<std::wstring> expected;  // in kSettings order
  } kCases[] = {
      {L"Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;Password=p;Connect Timeout=30;"
       L"Current Language=english",
       {L"sa", L"p", L"db", L"SQLOLEDB", L"srv", L"30", L"english"}},
      {L"uid=u;pwd=w;server=s;database=d", {L"u", L"w", L"d", L"", L"s", L"", L""}},
      {L"", {L"", L"", L"", L"", L"", L"", L""}},
  };
  for (const auto& row : kCases) {
    ComPtr<IConnectionString> object = NewObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(Put(object.get(), &IConnectionString::put_Timeout, L"stale"), S_OK);
    AutomationString input(SysAllocString(row.input));
    VARIANT_BOOL succeeded = 0x1234;
    EXPECT_EQ(object->parse(input.get(), &succeeded), S_OK) << row.input;
    EXPECT_EQ(succeeded, VARIANT_TRUE) << row.input;
    for (size_t index = 0; index < row.expected.size(); ++index) {
      EXPECT_EQ(Get(object.get(), kSettings[index].get), row.expected[index])
          << row.input << ", " << kSettings[index].name;
    }
  }
}

TEST(Members, ParseMatchesTheModelForAwkwardInput) {
  const wchar_t* kInputs[] = {L";;==;'unterminated", L"uid={a;b};pwd='x''y';server=\"s\"", L"Provider=;Provider=P2",
                              L"  UID  =  spaced  ;;", L"=novalue;noequals;database"};
  for (const wchar_t* text : kInputs) {
    ComPtr<IConnectionString> object = NewObject();
    ASSERT_TRUE(object);
    AutomationString input(SysAllocString(text));
    VARIANT_BOOL succeeded = VARIANT_FALSE;
    EXPECT_EQ(object->parse(input.get(), &succeeded), S_OK) << text;
    EXPECT_EQ(succeeded, VARIANT_TRUE) << text;
    ConnectionSettings model;
    const std::wstring wide = text;
    model.parse(std::u16string(wide.begin(), wide.end()));
    for (const Setting& setting : kSettings) {
      EXPECT_EQ(Get(object.get(), setting.get), Wide(model.*setting.field)) << text << ", " << setting.name;
    }
  }
}

TEST(Members, ParseOfANullStringClearsEverything) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  for (const Setting& setting : kSettings) ASSERT_EQ(Put(object.get(), setting.put, L"v"), S_OK);
  VARIANT_BOOL succeeded = VARIANT_FALSE;
  EXPECT_EQ(object->parse(nullptr, &succeeded), S_OK);
  EXPECT_EQ(succeeded, VARIANT_TRUE);
  for (const Setting& setting : kSettings) EXPECT_EQ(Get(object.get(), setting.get), L"") << setting.name;
}

TEST(Members, ResetClearsEverySetting) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  for (const Setting& setting : kSettings) ASSERT_EQ(Put(object.get(), setting.put, L"v"), S_OK);
  EXPECT_EQ(object->Reset(), S_OK);
  for (const Setting& setting : kSettings) EXPECT_EQ(Get(object.get(), setting.get), L"") << setting.name;
}

TEST(Members, FormsMatchTheModelForTheSameSettings) {
  const wchar_t* kValues[] = {L"user", L"pa'ss", L"cat;alog", L"", L" server", L"15", L"{deutsch}"};
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  ConnectionSettings model;
  for (size_t index = 0; index < std::size(kSettings); ++index) {
    ASSERT_EQ(Put(object.get(), kSettings[index].put, kValues[index]), S_OK);
    const std::wstring value = kValues[index];
    model.*kSettings[index].field = std::u16string(value.begin(), value.end());
  }
  for (const Form& form : kForms) {
    EXPECT_EQ(Get(object.get(), form.get), Wide((model.*form.build)())) << form.name;
  }
}

TEST(Members, EachReadOfAFormIsANewString) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  ASSERT_EQ(Put(object.get(), &IConnectionString::put_DataSource, L"srv"), S_OK);
  for (const Form& form : kForms) {
    AutomationString first, second;
    ASSERT_EQ((object.get()->*form.get)(first.put()), S_OK);
    ASSERT_EQ((object.get()->*form.get)(second.put()), S_OK);
    EXPECT_NE(first.get(), second.get()) << form.name;
    EXPECT_EQ(Text(first.get()), Text(second.get())) << form.name;
  }
}

TEST(Members, NullOutPointersAreRefusedAndNothingChanges) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  ASSERT_EQ(Put(object.get(), &IConnectionString::put_UID, L"kept"), S_OK);
  for (const Setting& setting : kSettings) EXPECT_EQ((object.get()->*setting.get)(nullptr), E_POINTER) << setting.name;
  for (const Form& form : kForms) EXPECT_EQ((object.get()->*form.get)(nullptr), E_POINTER) << form.name;
  AutomationString input(SysAllocString(L"uid=other"));
  EXPECT_EQ(object->parse(input.get(), nullptr), E_POINTER);
  EXPECT_EQ(Get(object.get(), &IConnectionString::get_UID), L"kept");
}

TEST(Members, OutParametersAreWrittenWithoutBeingRead) {
  ComPtr<IConnectionString> object = NewObject();
  ASSERT_TRUE(object);
  // A value that would crash if the member freed or read it.
  BSTR garbage = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x10));
  for (const Setting& setting : kSettings) {
    BSTR value = garbage;
    ASSERT_EQ((object.get()->*setting.get)(&value), S_OK) << setting.name;
    EXPECT_NE(value, garbage);
    SysFreeString(value);
  }
  for (const Form& form : kForms) {
    BSTR value = garbage;
    ASSERT_EQ((object.get()->*form.get)(&value), S_OK) << form.name;
    EXPECT_NE(value, garbage);
    SysFreeString(value);
  }
}

}  // namespace
}  // namespace pellmora::testing
