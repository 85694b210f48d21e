#include "automation/connection_string.h"

namespace pellmora {

const InterfaceEntry* ConnectionString::Interfaces() noexcept {
  static const InterfaceEntry kInterfaces[] = {
      {&IID_IConnectionString, EntryOffset<IConnectionString, ConnectionString>()},
      {&IID_IDispatch, EntryOffset<IConnectionString, ConnectionString>()},
      {&IID_ISupportErrorInfo, EntryOffset<ISupportErrorInfo, ConnectionString>()},
      {nullptr, 0},
  };
  return kInterfaces;
}

HRESULT ConnectionString::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
  static const IID* const kWithErrorInfo[] = {&IID_IConnectionString};
  for (const IID* supported : kWithErrorInfo) {
    if (IsEqualIID(iid, *supported)) return S_OK;
  }
  return S_FALSE;
}

}  // namespace pellmora
