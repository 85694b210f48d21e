// Access to the module-wide records for the exported entry points.
#pragma once

#include "module/class_table.h"

namespace pellmora {

ClassTable& ModuleClassTable() noexcept;

}  // namespace pellmora
