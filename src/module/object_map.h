// The classes this library serves.
#pragma once

#include <cstddef>

#include "module/class_table.h"

namespace pellmora {

// The rows of the object map; here one, for ConnectionString.
ClassEntry* ObjectMapEntries() noexcept;
std::size_t ObjectMapSize() noexcept;

}  // namespace pellmora
