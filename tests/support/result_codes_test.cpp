#include <gtest/gtest.h>

#include "support/mutex.h"
#include "support/result_codes.h"

namespace pellmora {
namespace {

TEST(ResultFromWin32, MapsSystemErrorsUnderTheWin32Facility) {
  struct Case {
    uint32_t code;
    uint32_t expected;
  };
  const Case cases[] = {
      {0, 0},
      {2, 0x80070002},
      {122, 0x8007007A},
      {1113, 0x80070459},
      {0x12345, 0x80072345},
      {0x80004005, 0x80004005},
      {0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const Case& each : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ResultFromWin32(each.code)), each.expected) << each.code;
  }
}

TEST(ResultFromLastError, ReadsTheThreadsLastError) {
  SetLastError(5);
  EXPECT_EQ(static_cast<uint32_t>(ResultFromLastError()), 0x80070005u);
  SetLastError(0);
  EXPECT_EQ(ResultFromLastError(), S_OK);
}

TEST(ThrowResult, CarriesTheResultInAResultException) {
  try {
    ThrowResult(E_OUTOFMEMORY);
    FAIL() << "ThrowResult returned";
  } catch (const ResultException& error) {
    EXPECT_EQ(error.Result(), E_OUTOFMEMORY);
  }
}

TEST(InitMutex, GivesARecursiveMutex) {
  CRITICAL_SECTION mutex;
  ASSERT_EQ(InitMutex(&mutex), S_OK);
  {
    MutexLock outer(&mutex);
    MutexLock inner(&mutex);  // the holder may take it again
  }
  DeleteCriticalSection(&mutex);
}

}  // namespace
}  // namespace pellmora
