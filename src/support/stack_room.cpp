// How much stack the calling thread has left below the current frame.
#include <cstdint>

#include "support/platform.h"
#include "support/scratch_buffer.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace pellmora {

namespace {

// The lowest usable address of the calling thread's stack, looked up once per thread.
std::uintptr_t StackLowAddress() noexcept {
  thread_local std::uintptr_t low = 0;
  if (low != 0) return low;
#ifdef _WIN32
  ULONG_PTR lowLimit = 0, highLimit = 0;
  GetCurrentThreadStackLimits(&lowLimit, &highLimit);
  // The lowest pages of the reservation hold the guard page; keep clear of them.
  low = static_cast<std::uintptr_t>(lowLimit) + 3 * 4096;
#else
  pthread_attr_t attributes;
  void* address = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    pthread_attr_getstack(&attributes, &address, &size);
    pthread_attr_destroy(&attributes);
  }
  low = reinterpret_cast<std::uintptr_t>(address) + 3 * 4096;
#endif
  return low;
}

}  // namespace

bool StackHasRoom(std::size_t bytes) noexcept {
  char here = 0;
  const auto current = reinterpret_cast<std::uintptr_t>(&here);
  const std::uintptr_t low = StackLowAddress();
  return current > low && current - low >= bytes;
}

}  // namespace pellmora
