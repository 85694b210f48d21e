// The class object the component runtime receives from DllGetClassObject: creates instances
// through its class's instance creator and holds the module while a client holds it.
#pragma once

#include "module/class_table.h"
#include "support/platform.h"

namespace pellmora {

// Builds a class factory around `creator` and answers `iid` from it: E_POINTER without `out`,
// E_OUTOFMEMORY when the factory or its mutex cannot be made, E_NOINTERFACE for anything but
// IUnknown and IClassFactory (the new factory is then destroyed again).
HRESULT CreateClassFactory(InstanceCreator creator, REFIID iid, void** out) noexcept;

}  // namespace pellmora
