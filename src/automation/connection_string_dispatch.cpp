// Late-bound access: the object does not dispatch by itself but hands every call to the
// module-wide type information, which calls back into this object's IConnectionString table.
#include "automation/connection_string.h"
#include "automation/type_info_cache.h"

namespace pellmora {

HRESULT ConnectionString::GetTypeInfoCount(UINT* count) noexcept {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

// Every index names the one type information there is.
HRESULT ConnectionString::GetTypeInfo(UINT /*index*/, LCID lcid, ITypeInfo** info) noexcept {
  return ConnectionStringTypeInfo().GetTypeInfo(lcid, info);
}

HRESULT ConnectionString::GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count, LCID lcid,
                                        DISPID* ids) noexcept {
  return ConnectionStringTypeInfo().GetIDsOfNames(names, count, lcid, ids);
}

HRESULT ConnectionString::Invoke(DISPID id, REFIID /*iid*/, LCID lcid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept {
  return ConnectionStringTypeInfo().Invoke(static_cast<IConnectionString*>(this), id, lcid, flags, params,
                                           result, exception, argumentError);
}

}  // namespace pellmora
