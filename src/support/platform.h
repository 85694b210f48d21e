// The platform operations the portable code calls, under their platform names and signatures.
// On Windows they are the real ones; on the host they come from the host layer (host/), which
// implements only the subset the portable parts use, with the results they rely on.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <oleauto.h>
#else
#include "support/host/host_platform.h"
#endif
