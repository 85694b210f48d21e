// Host stand-ins for the automation runtime services the registration engine calls: task memory.
#pragma once

#include "support/host/host_types.h"

LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
void CoTaskMemFree(LPVOID block);
