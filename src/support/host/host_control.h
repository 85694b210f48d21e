// Controls of the host layer for tests: what the stand-ins answer, and failures to inject.
// Nothing here exists on Windows; only host-only tests include it.
#pragma once

#include "support/host/host_types.h"

// The system's ANSI code page (GetACP, CP_ACP, CharNextA, IsDBCSLeadByte). Default 1252.
void HostSetAnsiCodePage(UINT codePage);
// What CP_THREAD_ACP means on the calling thread. Default: the ANSI code page.
void HostSetThreadCodePage(UINT codePage);
// What GetVersionExA reports, and so whether WideCharToMultiByte takes WC_ERR_INVALID_CHARS (from
// major version 6 on). Default: NT family, major version 10.
void HostSetVersion(DWORD platformId, DWORD majorVersion);
// What GetLocaleInfoA answers for LOCALE_IDEFAULTANSICODEPAGE; null makes the call fail.
// Default "1252".
void HostSetLocaleAnsiCodePage(const char* answer);
// The next mutex creation fails with this system error code (0: none fails).
void HostFailNextMutexCreation(DWORD error);
// After `successes` more successful HeapAlloc calls every further one fails (-1: none fails).
void HostFailHeapAfter(int successes);
// Back to every default above.
void HostResetText();
