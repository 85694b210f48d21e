// Host stand-ins for reading resources of a module file loaded as data: a lookup of bytes by module
// path, type name and integer identifier (defined through host_registry_control.h).
#pragma once

#include "support/host/host_types.h"

HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
