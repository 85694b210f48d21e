// The Windows types and constants the portable code uses, with their Windows sizes: 32-bit
// DWORD, LONG and HRESULT on every host, 16-bit UTF-16 wide text as char16_t.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using UINT = uint32_t;
using INT = int;
using BOOL = int32_t;
using HRESULT = int32_t;
using LCID = uint32_t;
using LCTYPE = uint32_t;
using REGSAM = uint32_t;
using ULONG_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using SIZE_T = size_t;
using CHAR = char;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using LPOLESTR = char16_t*;
using LPCOLESTR = const char16_t*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPBOOL = BOOL*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF7 = 65000;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;
constexpr LCTYPE LOCALE_IDEFAULTANSICODEPAGE = 0x1004;

constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

// A recursive mutex; the host layer keeps the real one behind the pointer.
struct CRITICAL_SECTION {
  void* mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_STACK_OVERFLOW = 1001;

// Registry. Handles are opaque pointers; the predefined roots are the sign-extended 32-bit values
// Windows gives them, so the same numbers appear on a 64-bit host.
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
#define PELLMORA_HOST_ROOT_KEY(value) (reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(value))))
#define HKEY_CLASSES_ROOT PELLMORA_HOST_ROOT_KEY(0x80000000u)
#define HKEY_CURRENT_USER PELLMORA_HOST_ROOT_KEY(0x80000001u)
#define HKEY_LOCAL_MACHINE PELLMORA_HOST_ROOT_KEY(0x80000002u)
#define HKEY_USERS PELLMORA_HOST_ROOT_KEY(0x80000003u)
#define HKEY_PERFORMANCE_DATA PELLMORA_HOST_ROOT_KEY(0x80000004u)
#define HKEY_CURRENT_CONFIG PELLMORA_HOST_ROOT_KEY(0x80000005u)
#define HKEY_DYN_DATA PELLMORA_HOST_ROOT_KEY(0x80000006u)

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

// Modules and resources.
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HRSRC__;
using HRSRC = HRSRC__*;
using HANDLE = void*;
using HGLOBAL = void*;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
#define MAKEINTRESOURCEA(id) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))
#define IS_INTRESOURCE(name) ((reinterpret_cast<ULONG_PTR>(name) >> 16) == 0)

// Component object shape: interface identifiers and the calling convention of interface members.
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using REFIID = const IID&;
#define STDMETHODCALLTYPE

// Automation variant type numbers.
using VARTYPE = unsigned short;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_BYREF = 0x4000;
