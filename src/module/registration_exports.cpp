// The exported self-registration entry points and the object map's registration function for
// ConnectionString. The steps themselves are in self_registration.cpp.
#include "module/registration.h"
#include "module/self_registration.h"
#include "support/call_boundary.h"

namespace pellmora {

HRESULT UpdateConnectionStringRegistration(bool registering) noexcept {
  return RunRegistrationScript(kClassScript, registering, nullptr);
}

}  // namespace pellmora

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return pellmora::ResultOfCall([] { return pellmora::RegisterServer(); });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return pellmora::ResultOfCall([] { return pellmora::UnregisterServer(); });
}
