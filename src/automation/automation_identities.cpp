// Defines the identities declared by the generated interface header (IID, LIBID, CLSID), once.
#include "support/platform.h"

#include <initguid.h>

#include "automation/pellmora_lib.h"
