#include "support/result_codes.h"

namespace pellmora {

HRESULT ResultFromLastError() { return ResultFromWin32(GetLastError()); }

void ThrowResult(HRESULT result) { throw ResultException(result); }

}  // namespace pellmora
