// The exported self-registration entry points and the object map's registration function for
// ConnectionString. The steps themselves are in self_registration.cpp.
#include "module/registration.h"
#include "module/self_registration.h"
#include "support/call_boundary.h"
#include "support/wide_text.h"

namespace pellmora {

HRESULT UpdateConnectionStringRegistration(bool registering, HKEY classesRoot) noexcept {
  return RunRegistrationScript(kClassScript, registering, nullptr, classesRoot);
}

}  // namespace pellmora

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return pellmora::ResultOfCall([] { return pellmora::RegisterServer(pellmora::RegistrationScope::Machine); });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return pellmora::ResultOfCall([] { return pellmora::UnregisterServer(pellmora::RegistrationScope::Machine); });
}

// regsvr32 /n /i:user registers for the current user (install TRUE), regsvr32 /u /n /i:user
// removes that registration (FALSE): "user" in any letter case; nothing else is accepted.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  return pellmora::ResultOfCall(
      [&] { return pellmora::InstallForCommandLine(install != FALSE, pellmora::PortableWide(commandLine)); });
}
