// The identities of the generated header are defined here, once for every test program.
#include "support/platform.h"

#include <initguid.h>

#include "automation/pellmora_lib.h"
#include "support/com_ptr.h"
#include "test_registration.h"

namespace pellmora::testing {

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

namespace {

LONG SetDefaultValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return error;
  error = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return error;
}

}  // namespace

std::wstring DllPath() {
  const std::string unixPath = PELLMORA_DLL_PATH;
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

HRESULT RegisterClassByHand() {
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_ConnectionString);
  LONG error = SetDefaultValue(HKEY_CLASSES_ROOT, clsid, nullptr, L"ConnectionString Class");
  if (error == ERROR_SUCCESS)
    error = SetDefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", nullptr, DllPath());
  if (error == ERROR_SUCCESS)
    error = SetDefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  if (error == ERROR_SUCCESS) error = SetDefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\ProgID", nullptr, kProgId);
  if (error == ERROR_SUCCESS)
    error = SetDefaultValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr,
                            GuidText(CLSID_ConnectionString));
  return HRESULT_FROM_WIN32(error);
}

HRESULT UnregisterClassByHand() {
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_ConnectionString);
  LONG first = RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.c_str());
  LONG second = RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  if (first == ERROR_FILE_NOT_FOUND) first = ERROR_SUCCESS;
  if (second == ERROR_FILE_NOT_FOUND) second = ERROR_SUCCESS;
  return HRESULT_FROM_WIN32(first != ERROR_SUCCESS ? first : second);
}

HRESULT RegisterTypeLibrary() {
  std::wstring path = DllPath();
  ComPtr<ITypeLib> library;
  HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
  if (FAILED(result)) return result;
  return RegisterTypeLib(library.get(), path.data(), nullptr);
}

HRESULT UnregisterTypeLibrary() { return UnRegisterTypeLib(LIBID_PellmoraLib, 1, 0, 0, kSysKind); }

}  // namespace pellmora::testing
