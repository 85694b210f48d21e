// Recursive mutexes with a result code for creation, and a holder that releases on every path.
#pragma once

#include "support/platform.h"

namespace pellmora {

// Initialises a recursive mutex in `storage`: S_OK, E_OUTOFMEMORY when the system is out of
// memory, E_FAIL for any other failure. Only a mutex that returned S_OK may be used or deleted.
HRESULT InitMutex(CRITICAL_SECTION* storage) noexcept;

// Holds a mutex for one scope.
class MutexLock {
 public:
  explicit MutexLock(CRITICAL_SECTION* mutex) noexcept : mutex_(mutex) { EnterCriticalSection(mutex_); }
  ~MutexLock() { LeaveCriticalSection(mutex_); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  CRITICAL_SECTION* mutex_;
};

}  // namespace pellmora
