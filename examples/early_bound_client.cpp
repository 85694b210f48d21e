// An early-bound client of the ConnectionString component: creates the object by its class
// identifier, calls IConnectionString through its function table (no dispatch, no type library
// lookup) and prints every setting and the three ready-made connection strings.
//
//   early_bound_client ["connection string"]
//
// Without an argument a built-in sample is parsed. Prints the same lines as the script examples:
// to a console as UTF-16, otherwise (a pipe, a file) as UTF-8, so that no character is lost.
// Needs only the package's include folder: g++ -Iinclude early_bound_client.cpp -lole32 -loleaut32
// -lshell32 -luuid (mingw-w64), or any compiler for Windows with the same libraries.
#include <windows.h>
#include <shellapi.h>

#include <initguid.h>  // defines the identifiers that the interface header declares, in this file

#include <cstdio>
#include <string>

#include "pellmora_lib.h"

namespace {

const wchar_t kSample[] =
    L"Provider=SQLOLEDB;Data Source=db01.example.net;Initial Catalog=Sales;User ID=report;"
    L"Password=\"p@ss;word\";Connect Timeout=30;Current Language=us_english";

// Initialises the component runtime for this thread for as long as it lives.
class Apartment {
 public:
  Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// Owns one automation string.
class Text {
 public:
  Text() = default;
  explicit Text(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~Text() { SysFreeString(value_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  BSTR get() const { return value_; }
  BSTR* put() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }

 private:
  BSTR value_ = nullptr;
};

// Owns one reference to the interface.
class Helper {
 public:
  Helper() = default;
  ~Helper() {
    if (value_) value_->Release();
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  IConnectionString* get() const { return value_; }
  IConnectionString* operator->() const { return value_; }
  void** put() { return reinterpret_cast<void**>(&value_); }

 private:
  IConnectionString* value_ = nullptr;
};

// Prints `label` and `text` as one line.
void PrintLine(const wchar_t* label, const wchar_t* text, UINT length) {
  std::wstring line = label;
  line.append(text, length);
  line += L'\n';
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) {
    DWORD written = 0;
    WriteConsoleW(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], size, nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void PrintLine(const wchar_t* label, const wchar_t* text) { PrintLine(label, text, lstrlenW(text)); }

int Fail(const char* what, HRESULT result) {
  std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(result));
  return 1;
}

using Getter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR*);

struct Row {
  const wchar_t* label;
  Getter get;
};

HRESULT PrintProperty(const Helper& helper, const Row& row) {
  Text value;
  const HRESULT result = (helper.get()->*row.get)(value.put());
  if (SUCCEEDED(result)) PrintLine(row.label, value.get(), SysStringLen(value.get()));
  return result;
}

int Run(const wchar_t* text) {
  Helper helper;
  HRESULT result =
      CoCreateInstance(CLSID_ConnectionString, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, helper.put());
  if (FAILED(result)) return Fail("creating ConnectionString (is Pellmora.dll registered?)", result);

  Text input(text);
  if (!input.get()) return Fail("allocating the input", E_OUTOFMEMORY);
  VARIANT_BOOL parsed = VARIANT_FALSE;
  result = helper->parse(input.get(), &parsed);
  if (FAILED(result)) return Fail("parse", result);

  PrintLine(L"Connection string: ", text);
  PrintLine(L"parse:             ", parsed ? L"True" : L"False");
  PrintLine(L"", L"");

  const Row settings[] = {
      {L"UID:               ", &IConnectionString::get_UID},
      {L"PassWord:          ", &IConnectionString::get_PassWord},
      {L"Catalog:           ", &IConnectionString::get_Catalog},
      {L"DataSource:        ", &IConnectionString::get_DataSource},
      {L"Timeout:           ", &IConnectionString::get_Timeout},
      {L"CurrentLanguage:   ", &IConnectionString::get_CurrentLanguage},
      {L"Provider:          ", &IConnectionString::get_Provider},
  };
  const Row forms[] = {
      {L"ODBCString:        ", &IConnectionString::get_ODBCString},
      {L"OleDBString:       ", &IConnectionString::get_OleDBString},
      {L"OleDBString2:      ", &IConnectionString::get_OleDBString2},
  };
  for (const Row& row : settings) {
    result = PrintProperty(helper, row);
    if (FAILED(result)) return Fail("reading a setting", result);
  }
  PrintLine(L"", L"");
  for (const Row& row : forms) {
    result = PrintProperty(helper, row);
    if (FAILED(result)) return Fail("reading a connection string", result);
  }
  return 0;
}

}  // namespace

int main() {
  Apartment apartment;
  if (FAILED(apartment.Result())) return Fail("CoInitializeEx", apartment.Result());

  // The argument as the user typed it, also outside the ANSI code page.
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const int status = Run(arguments && count > 1 ? arguments[1] : kSample);
  LocalFree(arguments);
  return status;
}
