// Host stand-ins for the kernel services of the portable code: last error, mutexes, interlocked
// operations, system version and locale.
#pragma once

#include "support/host/host_types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

LONG InterlockedIncrement(LONG volatile* value);
LONG InterlockedDecrement(LONG volatile* value);
LONG InterlockedExchange(LONG volatile* target, LONG value);

// The process heap; HeapAlloc fails (null) as HostFailHeapAfter says.
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);

BOOL GetVersionExA(LPOSVERSIONINFOA info);
LCID GetThreadLocale();
int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int capacity);
