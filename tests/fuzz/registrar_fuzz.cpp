// Feeds arbitrary script text through the replacement pass and both walk directions against the
// host registry. Any crash, sanitizer report or handle left open is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"
#include "support/host/host_control.h"
#include "support/host/host_registry_control.h"

namespace {

void RunBothDirections(const std::string& text) {
  using pellmora::ScriptParser;
  using pellmora::ScriptRegistrar;
  HostResetRegistry();
  ScriptRegistrar registrar;
  registrar.DefineReplacement(u"APPID", u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}");
  registrar.DefineReplacement(u"Module", u"C:\\Program Files\\It''s\\Pellmora.dll");
  registrar.DefineReplacement(u"Module_Raw", u"C:\\Program Files\\It's\\Pellmora.dll");
  registrar.DefineReplacement(u"Wide", u"\u8868\u5341");
  {
    ScriptParser parser(registrar);
    parser.RunScript(text.c_str(), true);
  }
  if (HostOpenRegistryHandles() != 0) std::abort();
  {
    // Twice: once over what the registration left, once over nothing.
    ScriptParser parser(registrar);
    parser.RunScript(text.c_str(), false);
    parser.RunScript(text.c_str(), false);
  }
  if (HostOpenRegistryHandles() != 0) std::abort();
  if (HostTaskMemoryBlocks() != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The script is NUL-terminated text: it ends at the first NUL byte, as a resource does.
  const std::string text(reinterpret_cast<const char*>(data), size);
  HostSetAnsiCodePage(1252);
  RunBothDirections(text);
  // High bytes matter in a double-byte code page: run those inputs there too.
  for (unsigned char byte : text) {
    if (byte >= 0x81) {
      HostSetAnsiCodePage(936);
      RunBothDirections(text);
      HostSetAnsiCodePage(1252);
      break;
    }
  }
  return 0;
}
