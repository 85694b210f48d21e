// Host stand-ins for the automation runtime services the registration engine calls: number
// conversion of text and task memory.
#pragma once

#include "support/host/host_types.h"

// Decimal text (blanks around it allowed) to an unsigned 32-bit number: S_OK,
// DISP_E_TYPEMISMATCH for anything that is not a decimal number, DISP_E_OVERFLOW when it does not
// fit 32 bits.
HRESULT VarUI4FromStr(const OLECHAR* text, LCID locale, ULONG flags, ULONG* result);

LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
void CoTaskMemFree(LPVOID block);
