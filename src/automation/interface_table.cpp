#include "automation/interface_table.h"

namespace pellmora {

namespace {

IUnknown* EntryPoint(void* object, const InterfaceEntry& row) noexcept {
  return reinterpret_cast<IUnknown*>(static_cast<char*>(object) + row.offset);
}

IUnknown* Lookup(void* object, const InterfaceEntry* table, REFIID iid) noexcept {
  if (IsEqualIID(iid, IID_IUnknown)) return EntryPoint(object, table[0]);
  for (const InterfaceEntry* row = table; row->iid != nullptr; ++row) {
    if (IsEqualIID(iid, *row->iid)) return EntryPoint(object, *row);
  }
  return nullptr;
}

}  // namespace

HRESULT FindInterface(void* object, const InterfaceEntry* table, REFIID iid, void** out) noexcept {
  if (object == nullptr || table == nullptr) return E_INVALIDARG;
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  IUnknown* entry = Lookup(object, table, iid);
  if (entry == nullptr) return E_NOINTERFACE;
  entry->AddRef();
  *out = entry;
  return S_OK;
}

}  // namespace pellmora
