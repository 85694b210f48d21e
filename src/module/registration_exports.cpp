// Self-registration entry points. Until the registration scripts are wired in, both directions
// report that they are not implemented.
#include "module/registration.h"

namespace pellmora {

HRESULT UpdateConnectionStringRegistration(bool /*registering*/) noexcept { return E_NOTIMPL; }

}  // namespace pellmora

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return E_NOTIMPL; }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return E_NOTIMPL; }
