// Registering the DLL under test by hand, for test programs and script tests, until the library
// registers itself: the class keys and the embedded type library, and removing them again.
#pragma once

#include <string>

#include "support/platform.h"

namespace pellmora::testing {

// The braced upper-case text of a GUID.
std::wstring GuidText(const GUID& guid);

// Windows path of the DLL under test (the build tree, seen through Wine's Z: drive).
std::wstring DllPath();

// The ProgID that script hosts use.
inline constexpr wchar_t kProgId[] = L"Vantelby.ConStringHelper";

// Writes the class keys (CLSID -> InprocServer32 = DllPath(), Apartment; ProgID -> CLSID) so that
// the runtime can find the class, and deletes them again. Returns S_OK or the registry's error.
HRESULT RegisterClassByHand();
HRESULT UnregisterClassByHand();

// The platform the DLL's type library is built for.
inline constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// Registers / unregisters the type library embedded in the DLL.
HRESULT RegisterTypeLibrary();
HRESULT UnregisterTypeLibrary();

}  // namespace pellmora::testing
