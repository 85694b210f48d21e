// Helper of per_user.sh for what regsvr32 cannot show, each in one Wine process:
//   per_user_probe install DLL 1|0 TEXT...      calls the DLL's DllInstall (install TRUE or FALSE)
//                                               with each TEXT ("-null": a null command line) and
//                                               prints each result as 0x%08X on a line
//   per_user_probe dump user|machine            prints the library's subtrees below the user's
//                                               classes key or HKEY_CLASSES_ROOT as lines
//                                               "\KEY|" and "\KEY|NAME|DATA" (NAME "@" for the
//                                               unnamed value), unsorted
//   per_user_probe readback DLL                 follows a registration for the current user as
//                                               the system's class lookup would, from the ProgID
//                                               to the DLL and to the type library, and loads
//                                               that library; prints "FAIL: ..." per fault and
//                                               exits with their count
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t kProgId[] = L"Vantelby.ConStringHelper";

int failures = 0;

void Fail(const char* what, const std::wstring& detail = L"") {
  ++failures;
  std::printf("FAIL: %s %ls\n", what, detail.c_str());
}

// The unnamed value of HKCU\Software\Classes\`key`, or empty.
std::wstring UserClassValue(const std::wstring& key) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  const std::wstring path = kClasses + key;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return L"";
  }
  return data;
}

// The first subkey of HKCU\Software\Classes\`key`, or empty.
std::wstring FirstSubkey(const std::wstring& key) {
  HKEY opened = nullptr;
  const std::wstring path = kClasses + key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return L"";
  wchar_t name[256] = {};
  DWORD size = 256;
  const LONG code = RegEnumKeyExW(opened, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(opened);
  return code == ERROR_SUCCESS ? name : L"";
}

int ReadBack(const wchar_t* dll) {
  // ProgID -> current version -> class identifier.
  const std::wstring version = UserClassValue(std::wstring(kProgId) + L"\\CurVer");
  if (version != std::wstring(kProgId) + L".1") Fail("CurVer of the ProgID:", version);
  const std::wstring clsid = UserClassValue(version + L"\\CLSID");
  CLSID parsed{};
  if (CLSIDFromString(clsid.c_str(), &parsed) != S_OK) Fail("no class identifier behind the ProgID:", clsid);
  if (UserClassValue(std::wstring(kProgId) + L"\\CLSID") != clsid) Fail("the two ProgIDs name different classes");

  // Class identifier -> the DLL, and the class's type library.
  const std::wstring classKey = L"CLSID\\" + clsid;
  const std::wstring server = UserClassValue(classKey + L"\\InprocServer32");
  if (_wcsicmp(server.c_str(), dll) != 0) Fail("InprocServer32 is not the DLL:", server);
  if (UserClassValue(classKey + L"\\ProgID") != version) Fail("the class names another ProgID");
  const std::wstring libid = UserClassValue(classKey + L"\\TypeLib");
  GUID library{};
  if (CLSIDFromString(libid.c_str(), &library) != S_OK) Fail("no type library behind the class:", libid);

  // Type library -> its file for this architecture, which the loader accepts.
  const std::wstring libraryKey = L"TypeLib\\" + libid;
  const std::wstring libraryVersion = FirstSubkey(libraryKey);
  const wchar_t* platform = sizeof(void*) == 8 ? L"win64" : L"win32";
  const std::wstring file = UserClassValue(libraryKey + L"\\" + libraryVersion + L"\\0\\" + platform);
  if (_wcsicmp(file.c_str(), dll) != 0) Fail("the type library's file is not the DLL:", file);
  ITypeLib* loaded = nullptr;
  HRESULT result = LoadTypeLib(file.c_str(), &loaded);
  if (FAILED(result)) {
    Fail("LoadTypeLib refuses the registered file:", file);
    return failures;
  }
  TLIBATTR* attributes = nullptr;
  if (SUCCEEDED(loaded->GetLibAttr(&attributes))) {
    if (!IsEqualGUID(attributes->guid, library)) Fail("the loaded library has another identifier");
    loaded->ReleaseTLibAttr(attributes);
  } else {
    Fail("no attributes of the loaded library");
  }
  ITypeInfo* coclass = nullptr;
  result = loaded->GetTypeInfoOfGuid(parsed, &coclass);
  if (SUCCEEDED(result)) {
    coclass->Release();
  } else {
    Fail("the loaded library does not describe the class", clsid);
  }
  loaded->Release();
  return failures;
}

const wchar_t* const kSubtrees[] = {L"AppID\\{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}",
                                    L"AppID\\Pellmora.DLL",
                                    L"Vantelby.ConStringHelper.1",
                                    L"Vantelby.ConStringHelper",
                                    L"CLSID\\{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}",
                                    L"TypeLib\\{0711ED4D-9539-48E2-86EB-7DF50B8DD3F0}",
                                    L"Interface\\{294A5F58-E9B5-4D11-AA55-9C92453DEC6A}"};

void DumpKey(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::printf("\\%ls|\n", path.c_str());
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameSize = 256, type = 0;
    BYTE data[2048] = {};
    DWORD dataSize = sizeof(data) - 2;
    if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    const wchar_t* shown = name[0] != 0 ? name : L"@";
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::printf("\\%ls|%ls|%ls\n", path.c_str(), shown, reinterpret_cast<const wchar_t*>(data));
    } else {
      std::printf("\\%ls|%ls|type %lu, %lu bytes\n", path.c_str(), shown, type, dataSize);
    }
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameSize = 256;
    if (RegEnumKeyExW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DumpKey(root, path + L"\\" + name);
  }
  RegCloseKey(key);
}

int Dump(const wchar_t* scope) {
  HKEY root = HKEY_CLASSES_ROOT;
  if (std::wcscmp(scope, L"user") == 0) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &root) != ERROR_SUCCESS) return 0;
  }
  for (const wchar_t* subtree : kSubtrees) DumpKey(root, subtree);
  return 0;
}

int Install(const wchar_t* dll, bool install, wchar_t** texts, int count) {
  HMODULE module = LoadLibraryW(dll);
  if (module == nullptr) {
    std::printf("cannot load\n");
    return 1;
  }
  using Entry = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
  const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllInstall")));
  int status = 1;
  if (entry != nullptr) {
    for (int i = 0; i < count; ++i) {
      const wchar_t* text = std::wcscmp(texts[i], L"-null") == 0 ? nullptr : texts[i];
      std::printf("0x%08lX\n", static_cast<unsigned long>(entry(install ? TRUE : FALSE, text)));
    }
    status = 0;
  } else {
    std::printf("no DllInstall\n");
  }
  FreeLibrary(module);
  return status;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  if (count >= 5 && std::wcscmp(arguments[1], L"install") == 0) {
    return Install(arguments[2], arguments[3][0] == L'1', arguments + 4, count - 4);
  }
  if (count == 3 && std::wcscmp(arguments[1], L"dump") == 0) return Dump(arguments[2]);
  if (count == 3 && std::wcscmp(arguments[1], L"readback") == 0) {
    CoInitialize(nullptr);
    const int result = ReadBack(arguments[2]);
    CoUninitialize();
    return result;
  }
  std::printf("usage: per_user_probe install DLL 1|0 TEXT... | dump user|machine | readback DLL\n");
  return 2;
}
