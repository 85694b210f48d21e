// How much stack the calling thread has left below the current frame.
#include <cstdint>

#include "support/platform.h"
#include "support/scratch_buffer.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace pellmora {

namespace {

// The lowest pages of a stack's reservation hold the guard page and can never be committed; the
// check keeps clear of them.
constexpr std::uintptr_t kGuardReserve = 3 * 4096;

bool RoomAbove(std::uintptr_t current, std::uintptr_t low, std::size_t bytes) noexcept {
  return current > low && current - low >= bytes;
}

}  // namespace

#ifdef _WIN32

namespace {

// GCC 12 takes the segment-relative read inside NtCurrentTeb for an out-of-bounds access.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const NT_TIB* CurrentThreadBlock() noexcept { return reinterpret_cast<const NT_TIB*>(NtCurrentTeb()); }
#pragma GCC diagnostic pop

}  // namespace

// Called for every scratch buffer and every nesting level of the registration walk, on every
// Windows version from XP on, and without per-thread state (the DLL keeps none: a thread-local
// variable would take a TLS slot at every load and never give it back). The committed part of
// the stack, which the thread information block describes, answers almost every call in a few
// nanoseconds; only when it is too small does VirtualQuery (microseconds) find how far the
// reservation below it may still grow.
bool StackHasRoom(std::size_t bytes) noexcept {
  char here = 0;
  const auto current = reinterpret_cast<std::uintptr_t>(&here);
  if (RoomAbove(current, reinterpret_cast<std::uintptr_t>(CurrentThreadBlock()->StackLimit), bytes)) return true;
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(&here, &region, sizeof(region)) == 0) return false;
  return RoomAbove(current, reinterpret_cast<std::uintptr_t>(region.AllocationBase) + kGuardReserve, bytes);
}

#else

// The lowest usable address of the calling thread's stack, looked up once per thread (reading a
// thread's attributes is slow).
std::uintptr_t StackLowAddress() noexcept {
  thread_local std::uintptr_t low = 0;
  if (low != 0) return low;
  pthread_attr_t attributes;
  void* address = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    pthread_attr_getstack(&attributes, &address, &size);
    pthread_attr_destroy(&attributes);
  }
  low = reinterpret_cast<std::uintptr_t>(address) + kGuardReserve;
  return low;
}

bool StackHasRoom(std::size_t bytes) noexcept {
  char here = 0;
  return RoomAbove(reinterpret_cast<std::uintptr_t>(&here), StackLowAddress(), bytes);
}

#endif

}  // namespace pellmora
