// Registering a type library for one user only: under HKEY_CURRENT_USER\Software\Classes, never
// under the machine's classes key, on every system from Windows XP on.
#pragma once

#include "support/platform.h"

namespace pellmora {

class ClassesKey;

// `classes` is the user's open classes key. The results are those of the platform's calls.
HRESULT RegisterTypeLibraryForUser(ITypeLib* library, BSTR path, OLECHAR* helpDirectory,
                                   const ClassesKey& classes) noexcept;
HRESULT UnregisterTypeLibraryForUser(const TLIBATTR& attributes, const ClassesKey& classes) noexcept;

// Whether `classes` holds a registration of the library version `attributes` names
// (TypeLib\{library identifier}\major.minor).
bool IsTypeLibraryRegisteredIn(HKEY classes, const TLIBATTR& attributes) noexcept;

}  // namespace pellmora
