#include "support/mutex.h"

namespace pellmora {

HRESULT InitMutex(CRITICAL_SECTION* storage) noexcept {
  // The spin-count form reports failure as a return value and a last error, which portable C++
  // can test; the plain form reports it as a structured exception.
  if (InitializeCriticalSectionAndSpinCount(storage, 0)) return S_OK;
  const DWORD error = GetLastError();
  return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ? E_OUTOFMEMORY : E_FAIL;
}

}  // namespace pellmora
