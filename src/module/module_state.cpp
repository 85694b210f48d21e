// The module-wide records and the loader's attach handler. The two records are defined here, in
// one translation unit, so that load constructs the ClassTable before the ServerModule and
// unload tears them down in the reverse order.
#include "module/class_table.h"
#include "module/module_state.h"
#include "module/object_map.h"
#include "module/server_module.h"

// The start of this library's image, which is its instance handle; known before DllMain runs.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// The C++ runtime linked into the library sets aside a reserve for throwing exceptions when memory
// is exhausted and keeps it for the process's lifetime; this gives it back.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace pellmora {

namespace {
ClassTable g_classTable(reinterpret_cast<HINSTANCE>(&__ImageBase), ObjectMapEntries(), ObjectMapSize());
ServerModule g_serverModule(g_classTable);
}  // namespace

ClassTable& ModuleClassTable() noexcept { return g_classTable; }

}  // namespace pellmora

// Refuses the load when a module-wide mutex could not be created; the runtime then tears the
// records down again at once. Per-thread notifications stay on and are ignored.
//
// When the library is unloaded while the process goes on (FreeLibrary, reserved is null), the
// runtime's exception reserve is freed, or each load and unload would keep it (73 KiB in the
// 64-bit library). Nothing throws after this point: only the records' teardowns run, and they
// do not throw.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH && pellmora::g_moduleInitFailed) return FALSE;
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) __gnu_cxx::__freeres();
  return TRUE;
}
