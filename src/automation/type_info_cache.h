// The type information of IConnectionString, loaded from the registered type library on first
// need and kept for the life of the module, with a cache that maps member names to DISPIDs.
// One instance serves every object of the module.
#pragma once

#include <atomic>

#include "support/automation_string.h"
#include "support/platform.h"

namespace pellmora {

struct NameCacheEntry {
  AutomationString name;
  LONG length = 0;
  DISPID dispid = DISPID_UNKNOWN;
};

class TypeInfoCache {
 public:
  constexpr TypeInfoCache(const IID& iid, const GUID& libid, WORD major, WORD minor) noexcept
      : iid_(iid), libid_(libid), major_(major), minor_(minor) {}

  // Loads the type information (LoadRegTypeLib with `lcid`) and builds the name cache if either
  // is missing. The result is the load's: a library that is not registered leaves the cache
  // empty, and the next call tries again. Lock-free once both are present. E_UNEXPECTED once the
  // module has been torn down.
  HRESULT EnsureTypeInfo(LCID lcid) noexcept;

  // The type information with one reference added for the caller, loading it if needed.
  HRESULT GetTypeInfo(LCID lcid, ITypeInfo** info) noexcept;
  // One member name in any ASCII letter case is answered from the name cache; everything else
  // goes to the type information (which also knows parameter names).
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept;
  // A dispatch that an object does by itself: true when it has handled the call (its HRESULT in
  // `outcome`), false to leave the call, untouched, to the type information.
  using DirectInvoke = bool (*)(void* instance, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                HRESULT* outcome);
  // Dispatches to `instance`: once the type information is loaded, `direct` (if any) is offered
  // the call first; whatever it declines goes through the type information. A call that the load
  // refuses (library not registered, module torn down) is refused before `direct` sees it.
  HRESULT Invoke(void* instance, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argumentError, DirectInvoke direct = nullptr) noexcept;

  // Termination callback: gives back the type information and the name cache.
  static void ReleaseTypeInfo(void* cache) noexcept;

 private:
  bool Ready() const noexcept;
  // Builds the name cache from `info`; only a failed allocation is reported (E_OUTOFMEMORY).
  HRESULT LoadNameCache(ITypeInfo* info) noexcept;
  bool LookUpCachedName(const OLECHAR* name, DISPID* id) const noexcept;

  const IID& iid_;
  const GUID& libid_;
  WORD major_;
  WORD minor_;
  // Published with release and read with acquire: a reader on the lock-free path sees either
  // nothing or a complete value.
  std::atomic<ITypeInfo*> typeInfo_{nullptr};
  std::atomic<NameCacheEntry*> names_{nullptr};
  LONG nameCount_ = 0;
};

// The module's one cache, for IConnectionString of PellmoraLib 1.0.
TypeInfoCache& ConnectionStringTypeInfo() noexcept;

}  // namespace pellmora
