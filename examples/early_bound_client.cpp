// An early-bound client of the ConnectionString component: creates the object by its class
// identifier, calls IConnectionString through its function table (no dispatch, no type library
// lookup) and prints every setting and the three ready-made connection strings.
//
//   early_bound_client ["connection string"]
//
// Without an argument a built-in sample is parsed. Prints the same lines as the script examples.
#include <windows.h>

#include <initguid.h>  // defines the identities of the generated header in this file

#include <cstdio>
#include <memory>
#include <string>

#include "automation/pellmora_lib.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"

namespace {

using pellmora::AutomationString;
using pellmora::ComPtr;

const wchar_t kSample[] =
    L"Provider=SQLOLEDB;Data Source=db01.example.net;Initial Catalog=Sales;User ID=report;"
    L"Password=\"p@ss;word\";Connect Timeout=30;Current Language=us_english";

// Initialises the component runtime for this thread for as long as it lives.
class Apartment {
 public:
  Apartment() noexcept : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

struct LocalMemoryFree {
  void operator()(void* block) const noexcept { LocalFree(block); }
};

// Prints `label` and `text` as one line in the console's ANSI code page.
void PrintLine(const char* label, std::wstring_view text) {
  std::string narrow;
  if (!text.empty()) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    narrow.resize(size);
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                        nullptr);
  }
  std::printf("%s%s\n", label, narrow.c_str());
}

int Fail(const char* what, HRESULT result) {
  std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(result));
  return 1;
}

using Getter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR*);

struct Row {
  const char* label;
  Getter get;
};

HRESULT PrintProperty(IConnectionString* helper, const Row& row) {
  AutomationString value;
  const HRESULT result = (helper->*row.get)(value.put());
  if (SUCCEEDED(result)) PrintLine(row.label, value.View());
  return result;
}

int Run(const wchar_t* text) {
  ComPtr<IConnectionString> helper;
  HRESULT result = CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IConnectionString, helper.put_void());
  if (FAILED(result)) return Fail("creating ConnectionString (is Pellmora.dll registered?)", result);

  AutomationString input(SysAllocString(text));
  if (!input.get()) return Fail("allocating the input", E_OUTOFMEMORY);
  VARIANT_BOOL parsed = VARIANT_FALSE;
  result = helper->parse(input.get(), &parsed);
  if (FAILED(result)) return Fail("parse", result);

  PrintLine("Connection string: ", text);
  PrintLine("parse:             ", parsed ? L"True" : L"False");
  std::printf("\n");

  const Row settings[] = {
      {"UID:               ", &IConnectionString::get_UID},
      {"PassWord:          ", &IConnectionString::get_PassWord},
      {"Catalog:           ", &IConnectionString::get_Catalog},
      {"DataSource:        ", &IConnectionString::get_DataSource},
      {"Timeout:           ", &IConnectionString::get_Timeout},
      {"CurrentLanguage:   ", &IConnectionString::get_CurrentLanguage},
      {"Provider:          ", &IConnectionString::get_Provider},
  };
  const Row forms[] = {
      {"ODBCString:        ", &IConnectionString::get_ODBCString},
      {"OleDBString:       ", &IConnectionString::get_OleDBString},
      {"OleDBString2:      ", &IConnectionString::get_OleDBString2},
  };
  for (const Row& row : settings) {
    result = PrintProperty(helper.get(), row);
    if (FAILED(result)) return Fail(row.label, result);
  }
  std::printf("\n");
  for (const Row& row : forms) {
    result = PrintProperty(helper.get(), row);
    if (FAILED(result)) return Fail(row.label, result);
  }
  return 0;
}

}  // namespace

int main() {
  Apartment apartment;
  if (FAILED(apartment.Result())) return Fail("CoInitializeEx", apartment.Result());

  // The argument as the user typed it, also outside the ANSI code page.
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalMemoryFree> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  return Run(arguments && count > 1 ? arguments.get()[1] : kSample);
}
