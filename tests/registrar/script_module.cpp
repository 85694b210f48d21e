#include "script_module.h"

#include "support/platform.h"
#include "support/wide_text.h"

#ifdef _WIN32

namespace pellmora::testing {

std::u16string ScriptModulePath() {
  WCHAR path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::u16string(PortableWide(path), length);
}

}  // namespace pellmora::testing

#else

#include <fstream>
#include <sstream>

#include "support/host/host_registry_control.h"

namespace pellmora::testing {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

}  // namespace

std::u16string ScriptModulePath() {
  const std::string module = "C:\\Program Files\\Pellmora\\Pellmora.dll";
  HostDefineResource(module, "REGISTRY", kAppIdScript, ReadFile(PELLMORA_SCRIPT_DIR "/appid.rgs"));
  HostDefineResource(module, "REGISTRY", kClassScript, ReadFile(PELLMORA_SCRIPT_DIR "/connection_string.rgs"));
  return std::u16string(module.begin(), module.end());
}

}  // namespace pellmora::testing

#endif
