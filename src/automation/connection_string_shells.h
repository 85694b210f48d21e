// How a ConnectionString object is held: on its own, counting its own references, or inside an
// aggregate, where an outer object owns its identity.
#pragma once

#include "support/platform.h"

namespace pellmora {

// The instance creator of the ConnectionString class. Without `outer`: a standalone object
// answering `iid`. With `outer`: an aggregatable object whose inner IUnknown answers `iid`
// (the class factory lets only IUnknown through). E_POINTER without `out`, E_OUTOFMEMORY when
// the object cannot be made, E_NOINTERFACE for an interface it does not have; every failure
// leaves nothing behind. Each live object holds one unit of the module's lock count.
HRESULT CreateConnectionString(IUnknown* outer, REFIID iid, void** out) noexcept;

}  // namespace pellmora
