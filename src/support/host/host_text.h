// Host stand-ins for code pages, text conversion and ANSI text stepping. Code pages 1252, 936
// (double-byte), 65001 and any other that iconv knows as CP<n>; 0 is the ANSI code page and 3 the
// calling thread's, both settable through host_control.h.
#pragma once

#include "support/host/host_types.h"

UINT GetACP();
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR destination, int capacity);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR destination, int capacity,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar);

BOOL IsDBCSLeadByte(BYTE byte);
LPSTR CharNextA(LPCSTR text);
int lstrcmpiA(LPCSTR left, LPCSTR right);
int lstrlenA(LPCSTR text);
