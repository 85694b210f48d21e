// Drives Pellmora.dll the way a client program does, for the interoperability test:
//   interop_forms_client INPUT OUTPUT
// The class is registered by hand and the object created by its ProgID through the component
// runtime. INPUT holds records of five UTF-8 texts, each ended by a NUL byte: UID, PassWord,
// Catalog, DataSource, CurrentLanguage. For every record the program sets the five properties,
// reads ODBCString, OleDBString and OleDBString2, then parses each OLE DB form into a second
// object and reads back UID, PassWord, Catalog, DataSource, CurrentLanguage and Provider. OUTPUT
// gets, per record, those 3 + 2 * 6 texts in that order, each UTF-8 and ended by a NUL byte.
// Exit code 0 when every call succeeded.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/pellmora_lib.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"
#include "test_registration.h"

namespace {

using pellmora::AutomationString;
using pellmora::ComPtr;

constexpr size_t kFieldsPerRecord = 5;

void Check(HRESULT result, const char* what) {
  if (FAILED(result)) {
    char message[160];
    std::snprintf(message, sizeof message, "%s failed: 0x%08lX", what, static_cast<unsigned long>(result));
    throw std::runtime_error(message);
  }
}

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length == 0) throw std::runtime_error("input is not UTF-8");
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (length == 0) throw std::runtime_error("output cannot be written as UTF-8");
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

// The NUL-ended texts of a file.
std::vector<std::wstring> ReadTexts(const char* path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error(std::string("cannot read ") + path);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::wstring> texts;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
    texts.push_back(WideFromUtf8(bytes.substr(start, end - start)));
  }
  if (start != bytes.size()) throw std::runtime_error("input ends inside a text");
  return texts;
}

using Getter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR*);
using Putter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR);

// The settings the forms carry, in the order of the input records.
const Putter kPutters[kFieldsPerRecord] = {&IConnectionString::put_UID, &IConnectionString::put_PassWord,
                                           &IConnectionString::put_Catalog, &IConnectionString::put_DataSource,
                                           &IConnectionString::put_CurrentLanguage};
// What is read back after parsing a form: the same settings, then Provider.
const Getter kReadBack[] = {
    &IConnectionString::get_UID,        &IConnectionString::get_PassWord,        &IConnectionString::get_Catalog,
    &IConnectionString::get_DataSource, &IConnectionString::get_CurrentLanguage, &IConnectionString::get_Provider};

// A new automation string holding `text`.
AutomationString Incoming(const std::wstring& text) {
  AutomationString incoming(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (incoming.get() == nullptr) Check(E_OUTOFMEMORY, "SysAllocStringLen");
  return incoming;
}

// The text a getter hands out.
std::wstring Read(IConnectionString* object, Getter getter, const char* what) {
  AutomationString text;
  Check((object->*getter)(text.put()), what);
  return std::wstring(text.View());
}

class Output {
 public:
  explicit Output(const char* path) : file_(path, std::ios::binary) {
    if (!file_) throw std::runtime_error(std::string("cannot write ") + path);
  }
  void Write(std::wstring_view text) {
    const std::string narrow = Utf8FromWide(text);
    file_.write(narrow.data(), static_cast<std::streamsize>(narrow.size()));
    file_.put('\0');
  }
  void Close() {
    file_.close();
    if (!file_) throw std::runtime_error("writing the output failed");
  }

 private:
  std::ofstream file_;
};

void Run(const char* input, const char* output) {
  const std::vector<std::wstring> texts = ReadTexts(input);
  if (texts.size() % kFieldsPerRecord != 0) throw std::runtime_error("input holds a partial record");

  CLSID clsid;
  Check(CLSIDFromProgID(pellmora::testing::kProgId, &clsid), "CLSIDFromProgID");
  ComPtr<IConnectionString> writer;
  ComPtr<IConnectionString> reader;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, writer.put_void()),
        "CoCreateInstance");
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionString, reader.put_void()),
        "CoCreateInstance");

  Output out(output);
  for (size_t record = 0; record < texts.size(); record += kFieldsPerRecord) {
    Check(writer->Reset(), "Reset");
    for (size_t field = 0; field < kFieldsPerRecord; ++field) {
      Check((writer.get()->*kPutters[field])(Incoming(texts[record + field]).get()), "put");
    }
    out.Write(Read(writer.get(), &IConnectionString::get_ODBCString, "get ODBCString"));
    const std::wstring forms[] = {Read(writer.get(), &IConnectionString::get_OleDBString, "get OleDBString"),
                                  Read(writer.get(), &IConnectionString::get_OleDBString2, "get OleDBString2")};
    for (const std::wstring& form : forms) out.Write(form);
    for (const std::wstring& form : forms) {
      VARIANT_BOOL succeeded = VARIANT_FALSE;
      Check(reader->parse(Incoming(form).get(), &succeeded), "parse");
      if (succeeded != VARIANT_TRUE) throw std::runtime_error("parse did not report success");
      for (Getter getter : kReadBack) out.Write(Read(reader.get(), getter, "get after parse"));
    }
  }
  out.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: interop_forms_client INPUT OUTPUT\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 0;
  HRESULT registered = pellmora::testing::RegisterClassByHand();
  try {
    Check(registered, "registering the class");
    Run(argv[1], argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "interop_forms_client: %s\n", error.what());
    status = 1;
  }
  if (FAILED(pellmora::testing::UnregisterClassByHand())) status = 1;
  CoUninitialize();
  return status;
}
