#include "module/object_map.h"

#include "automation/connection_string_shells.h"
#include "automation/pellmora_lib.h"
#include "module/class_factory.h"
#include "module/registration.h"

namespace pellmora {

namespace {

void NoModuleStateHook(bool /*starting*/) noexcept {}

// Constant-initialised: present before any constructor of the module runs.
ClassEntry g_objectMap[] = {
    {&CLSID_ConnectionString, &UpdateConnectionStringRegistration, &CreateClassFactory, &CreateConnectionString,
     nullptr, nullptr, &NoModuleStateHook},
};

}  // namespace

ClassEntry* ObjectMapEntries() noexcept { return g_objectMap; }
std::size_t ObjectMapSize() noexcept { return sizeof g_objectMap / sizeof g_objectMap[0]; }

}  // namespace pellmora
