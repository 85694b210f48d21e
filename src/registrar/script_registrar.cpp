#include "registrar/script_registrar.h"

#include <cstring>
#include <memory>
#include <new>

#include "registrar/narrow_copy.h"
#include "registrar/script_parser.h"
#include "support/result_codes.h"

namespace pellmora {

namespace {

// A module file loaded as data, released on every path.
class DataModule {
 public:
  explicit DataModule(const char* path) noexcept : module_(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  HMODULE Get() const noexcept { return module_; }

 private:
  HMODULE module_;
};

// The last system error as a failure; never a success code, even when the platform left the
// last error at 0.
HRESULT FailureFromLastError() noexcept {
  const HRESULT result = ResultFromLastError();
  return FAILED(result) ? result : E_FAIL;
}

}  // namespace

HRESULT ScriptRegistrar::QueryInterface(REFIID, void**) noexcept { return E_NOTIMPL; }
ULONG ScriptRegistrar::AddRef() noexcept { return 1; }
ULONG ScriptRegistrar::Release() noexcept { return 0; }

HRESULT ScriptRegistrar::DefineReplacement(const char16_t* name, const char16_t* value) noexcept {
  return replacements_.Add(name, value);
}

HRESULT ScriptRegistrar::RemoveAllReplacements() noexcept {
  replacements_.Clear();
  return S_OK;
}

const char16_t* ScriptRegistrar::FindReplacement(const char* name) const noexcept { return replacements_.Find(name); }

HRESULT ScriptRegistrar::RegisterResource(const char16_t* modulePath, UINT resourceId,
                                          const char16_t* resourceType) noexcept {
  return RunTypedResource(modulePath, resourceId, resourceType, true);
}

HRESULT ScriptRegistrar::UnregisterResource(const char16_t* modulePath, UINT resourceId,
                                            const char16_t* resourceType) noexcept {
  return RunTypedResource(modulePath, resourceId, resourceType, false);
}

HRESULT ScriptRegistrar::RunTypedResource(const char16_t* modulePath, UINT resourceId, const char16_t* resourceType,
                                          bool doRegister) noexcept {
  ScratchBuffer scratch;
  char* type = nullptr;
  if (FAILED(NarrowCopy(resourceType, scratch, false, &type))) return E_OUTOFMEMORY;
  return RunResource(modulePath, MAKEINTRESOURCEA(resourceId & 0xFFFF), type, doRegister);
}

HRESULT ScriptRegistrar::RunResource(const char16_t* modulePath, LPCSTR resourceName, LPCSTR resourceType,
                                     bool doRegister) noexcept {
  ScratchBuffer scratch;
  // Exactly or not at all: a path with a character put in by the code page's default (or a look-alike)
  // would load another file, or none.
  char* path = nullptr;
  const HRESULT converted = NarrowCopy(modulePath, scratch, true, &path);
  if (FAILED(converted)) return converted;
  DataModule module(path);
  if (module.Get() == nullptr) return FailureFromLastError();
  const HRSRC resource = FindResourceA(module.Get(), resourceName, resourceType);
  if (resource == nullptr) return FailureFromLastError();
  const HGLOBAL loaded = LoadResource(module.Get(), resource);
  if (loaded == nullptr) return FailureFromLastError();
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return FailureFromLastError();
  const DWORD size = SizeofResource(module.Get(), resource);

  // The script is narrow text without a terminator: copy it and add one. It ends at its first NUL.
  char small[1024];
  std::unique_ptr<char[]> large;
  char* text = small;
  if (static_cast<std::size_t>(size) + 1 > sizeof(small)) {
    large.reset(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
    if (large == nullptr) return E_OUTOFMEMORY;
    text = large.get();
  }
  std::memcpy(text, bytes, size);
  text[size] = '\0';

  ScriptParser parser(*this);
  return parser.RunScript(text, doRegister);
}

}  // namespace pellmora
