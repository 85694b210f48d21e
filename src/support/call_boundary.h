// The edge of every interface member and exported entry point: whatever the code inside throws
// comes out as the HRESULT it stands for, never as an exception.
#pragma once

#include <new>

#include "support/platform.h"
#include "support/result_codes.h"

namespace pellmora {

// Runs `body` (which returns an HRESULT) and turns an escaping exception into a result code:
// exhausted memory is E_OUTOFMEMORY, a ResultException its own code, anything else E_FAIL.
template <class Body>
HRESULT ResultOfCall(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const ResultException& error) {
    return error.Result();
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace pellmora
