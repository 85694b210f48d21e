// Table-driven interface lookup: an object says which interfaces it answers as a static table of
// (interface identifier, entry point) rows, and one function answers QueryInterface from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/platform.h"

namespace pellmora {

// One row: the interface and where its entry point sits in the object (a byte offset from the
// object's start). A row with a null identifier ends the table.
struct InterfaceEntry {
  const IID* iid;
  std::ptrdiff_t offset;
};

// Byte offset of the `Base` sub-object within a `Derived` object, for table rows. Computed on a
// dummy address because the objects are polymorphic, which rules out offsetof.
template <class Base, class Derived>
std::ptrdiff_t EntryOffset() noexcept {
  constexpr std::uintptr_t kProbe = 0x1000;
  Derived* object = reinterpret_cast<Derived*>(kProbe);
  return static_cast<std::ptrdiff_t>(reinterpret_cast<std::uintptr_t>(static_cast<Base*>(object)) - kProbe);
}

// QueryInterface over `table` for the object that starts at `object`:
//  E_INVALIDARG without object or table, E_POINTER without `out`; otherwise `*out` is cleared,
//  IUnknown yields the first row's entry point, any other identifier the first row that has it
//  (E_NOINTERFACE when none does). The entry point handed out has been AddRef'ed through itself.
HRESULT FindInterface(void* object, const InterfaceEntry* table, REFIID iid, void** out) noexcept;

}  // namespace pellmora
