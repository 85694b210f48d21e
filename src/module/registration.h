// Adding and removing the registry entries of the library and its class.
#pragma once

#include "support/platform.h"

namespace pellmora {

// The object map's registration function for the ConnectionString class.
HRESULT UpdateConnectionStringRegistration(bool registering, HKEY classesRoot) noexcept;

}  // namespace pellmora
