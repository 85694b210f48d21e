#include "automation/connection_string.h"

namespace pellmora {

namespace {

// Filled in when the library loads, not at the first call: a function-local static with a
// computed initialiser would take the C++ runtime's guard mutex, a kernel object that the runtime
// never closes, so every load and unload of the library would keep one handle.
const InterfaceEntry kInterfaces[] = {
    {&IID_IConnectionString, EntryOffset<IConnectionString, ConnectionString>()},
    {&IID_IDispatch, EntryOffset<IConnectionString, ConnectionString>()},
    {&IID_ISupportErrorInfo, EntryOffset<ISupportErrorInfo, ConnectionString>()},
    {nullptr, 0},
};

}  // namespace

const InterfaceEntry* ConnectionString::Interfaces() noexcept { return kInterfaces; }

HRESULT ConnectionString::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
  static const IID* const kWithErrorInfo[] = {&IID_IConnectionString};
  for (const IID* supported : kWithErrorInfo) {
    if (IsEqualIID(iid, *supported)) return S_OK;
  }
  return S_FALSE;
}

}  // namespace pellmora
