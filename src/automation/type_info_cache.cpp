#include "automation/type_info_cache.h"

#include <string>
#include <new>

#include "automation/pellmora_lib.h"
#include "module/server_module.h"
#include "support/com_ptr.h"
#include "support/mutex.h"

namespace pellmora {

namespace {

// Trivially destructible and constant-initialised, so it exists before any code of the module
// runs and its release is left to the module's termination callbacks.
TypeInfoCache g_connectionStringTypeInfo(IID_IConnectionString, LIBID_PellmoraLib, 1, 0);

// Releases the type attributes it holds on every path.
class TypeAttributes {
 public:
  explicit TypeAttributes(ITypeInfo* info) noexcept : info_(info) {
    if (FAILED(info_->GetTypeAttr(&attributes_))) attributes_ = nullptr;
  }
  ~TypeAttributes() {
    if (attributes_ != nullptr) info_->ReleaseTypeAttr(attributes_);
  }
  TypeAttributes(const TypeAttributes&) = delete;
  TypeAttributes& operator=(const TypeAttributes&) = delete;
  const TYPEATTR* get() const noexcept { return attributes_; }

 private:
  ITypeInfo* info_;
  TYPEATTR* attributes_ = nullptr;
};

// Reads the name and DISPID of function `index` into `entry`; leaves it fresh when either read fails.
void ReadFunctionName(ITypeInfo* info, UINT index, NameCacheEntry& entry) noexcept {
  FUNCDESC* function = nullptr;
  if (FAILED(info->GetFuncDesc(index, &function))) return;
  AutomationString name;
  if (SUCCEEDED(info->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr))) {
    entry.length = static_cast<LONG>(name.Length());
    entry.dispid = function->memid;
    entry.name = std::move(name);
  }
  info->ReleaseFuncDesc(function);
}

}  // namespace

TypeInfoCache& ConnectionStringTypeInfo() noexcept { return g_connectionStringTypeInfo; }

bool TypeInfoCache::Ready() const noexcept {
  return typeInfo_.load(std::memory_order_acquire) != nullptr && names_.load(std::memory_order_acquire) != nullptr;
}

HRESULT TypeInfoCache::EnsureTypeInfo(LCID lcid) noexcept {
  if (Ready()) return S_OK;

  // A call that arrives after the module has been torn down (late in process exit) has no mutex
  // to load under and nothing that would give back what a load took.
  ServerModule* module = ServerModule::Current();
  if (module == nullptr) return E_UNEXPECTED;
  MutexLock lock(&module->Mutex());
  HRESULT result = E_FAIL;
  if (typeInfo_.load(std::memory_order_relaxed) != nullptr) {
    result = S_OK;
  } else {
    ComPtr<ITypeLib> library;
    result = LoadRegTypeLib(libid_, major_, minor_, lcid, library.put());
    if (SUCCEEDED(result)) {
      ComPtr<ITypeInfo> info;
      result = library->GetTypeInfoOfGuid(iid_, info.put());
      if (SUCCEEDED(result)) {
        // The richer interface serves the same calls; keep it when the platform offers it.
        ComPtr<ITypeInfo2> info2;
        ITypeInfo* kept = SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, info2.put_void()))
                              ? static_cast<ITypeInfo*>(info2.detach())
                              : info.detach();
        // Cached only together with the callback that releases it, so it can never leak.
        result = module->AddTerminationCallback(&TypeInfoCache::ReleaseTypeInfo, this);
        if (SUCCEEDED(result)) {
          typeInfo_.store(kept, std::memory_order_release);
        } else {
          kept->Release();
        }
      }
    }
  }
  ITypeInfo* info = typeInfo_.load(std::memory_order_relaxed);
  if (info != nullptr && names_.load(std::memory_order_relaxed) == nullptr) LoadNameCache(info);
  return result;
}

HRESULT TypeInfoCache::LoadNameCache(ITypeInfo* info) noexcept {
  TypeAttributes attributes(info);
  // Without attributes the cache stays missing and the next dispatch call tries again.
  if (attributes.get() == nullptr) return S_OK;

  const UINT count = attributes.get()->cFuncs;
  nameCount_ = static_cast<LONG>(count);
  NameCacheEntry* entries = nullptr;
  if (count != 0) {
    entries = new (std::nothrow) NameCacheEntry[count];
    if (entries == nullptr) return E_OUTOFMEMORY;
    for (UINT index = 0; index < count; ++index) ReadFunctionName(info, index, entries[index]);
  }
  // Published only once every entry is filled.
  names_.store(entries, std::memory_order_release);
  return S_OK;
}

namespace {

// A-Z folded to a-z, nothing else.
OLECHAR FoldedUnit(OLECHAR unit) { return static_cast<OLECHAR>(unit >= L'A' && unit <= L'Z' ? unit + 0x20 : unit); }

// Whether the first `length` units of `name` and `entry` are equal once A-Z are folded.
bool SameNameFolded(const OLECHAR* name, const OLECHAR* entry, size_t length) {
  for (size_t index = 0; index < length; ++index) {
    if (name[index] != entry[index] && FoldedUnit(name[index]) != FoldedUnit(entry[index])) return false;
  }
  return true;
}

}  // namespace

bool TypeInfoCache::LookUpCachedName(const OLECHAR* name, DISPID* id) const noexcept {
  const NameCacheEntry* entries = names_.load(std::memory_order_acquire);
  if (entries == nullptr) return false;
  const size_t length = std::char_traits<OLECHAR>::length(name);
  // Member names are unique regardless of case and the type information resolves them without
  // regard to case, so a name that equals an entry once A-Z are folded has that entry's DISPID.
  // Other names (non-ASCII case variants among them) go to the type information as before.
  // From the end: equal names carry equal DISPIDs, so any match is the answer.
  for (LONG index = nameCount_ - 1; index >= 0; --index) {
    const NameCacheEntry& entry = entries[index];
    if (static_cast<size_t>(entry.length) == length && entry.name.get() != nullptr &&
        SameNameFolded(name, entry.name.get(), length)) {
      *id = entry.dispid;
      return true;
    }
  }
  return false;
}

HRESULT TypeInfoCache::GetTypeInfo(LCID lcid, ITypeInfo** info) noexcept {
  if (info == nullptr) return E_POINTER;
  HRESULT result = S_OK;
  if (typeInfo_.load(std::memory_order_acquire) == nullptr) result = EnsureTypeInfo(lcid);
  ITypeInfo* loaded = typeInfo_.load(std::memory_order_acquire);
  *info = loaded;
  if (loaded == nullptr) return FAILED(result) ? result : E_FAIL;
  loaded->AddRef();
  return S_OK;
}

HRESULT TypeInfoCache::GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept {
  // Bad pointers are refused here rather than handed on, even with no name to look up: the type
  // information may read the array regardless (Wine's faults on a null one).
  if (names == nullptr || ids == nullptr) return E_POINTER;
  for (UINT index = 0; index < count; ++index) {
    if (names[index] == nullptr) return E_POINTER;
  }
  const HRESULT loaded = EnsureTypeInfo(lcid);
  ITypeInfo* info = typeInfo_.load(std::memory_order_acquire);
  if (info == nullptr) return FAILED(loaded) ? loaded : E_FAIL;
  if (count == 1 && LookUpCachedName(names[0], &ids[0])) return S_OK;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT TypeInfoCache::Invoke(void* instance, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError, DirectInvoke direct) noexcept {
  const HRESULT loaded = EnsureTypeInfo(lcid);
  ITypeInfo* info = typeInfo_.load(std::memory_order_acquire);
  if (info == nullptr) return FAILED(loaded) ? loaded : E_FAIL;
  HRESULT outcome;
  if (direct != nullptr && direct(instance, id, flags, params, result, &outcome)) return outcome;
  return info->Invoke(instance, id, flags, params, result, exception, argumentError);
}

void TypeInfoCache::ReleaseTypeInfo(void* argument) noexcept {
  auto* cache = static_cast<TypeInfoCache*>(argument);
  if (cache == nullptr) return;
  if (ITypeInfo* info = cache->typeInfo_.exchange(nullptr)) info->Release();
  delete[] cache->names_.exchange(nullptr);
}

}  // namespace pellmora
