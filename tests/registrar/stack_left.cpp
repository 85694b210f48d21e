#include "stack_left.h"

#include <cstdint>
#include <thread>

#include "support/platform.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace pellmora::testing {

namespace {

constexpr std::size_t kThreadStack = 2 * 1024 * 1024;

// The lowest address of the calling thread's stack reservation.
std::uintptr_t StackBottom() {
#ifdef _WIN32
  MEMORY_BASIC_INFORMATION region{};
  VirtualQuery(&region, &region, sizeof(region));
  return reinterpret_cast<std::uintptr_t>(region.AllocationBase);
#else
  pthread_attr_t attributes;
  void* address = nullptr;
  size_t size = 0;
  pthread_getattr_np(pthread_self(), &attributes);
  pthread_attr_getstack(&attributes, &address, &size);
  pthread_attr_destroy(&attributes);
  return reinterpret_cast<std::uintptr_t>(address);
#endif
}

__attribute__((noinline)) void CallBody(const std::function<void()>& body) { body(); }

__attribute__((noinline)) void TakeStackThenCall(std::size_t bytes, const std::function<void()>& body) {
  char here = 0;
  const std::uintptr_t left = reinterpret_cast<std::uintptr_t>(&here) - StackBottom();
  // Allocated from the top down, page by page, as the platform's stack probe requires.
  void* taken = __builtin_alloca(left > bytes ? left - bytes : 0);
  asm volatile("" : : "r"(taken) : "memory");
  CallBody(body);
}

constexpr std::size_t kPainted = 1024 * 1024;
constexpr unsigned char kPaint = 0xA5;

// Fills `bytes` of stack below the caller's frame with the pattern and returns its lowest address.
__attribute__((noinline)) std::uintptr_t Paint(std::size_t bytes) {
  auto* area = static_cast<unsigned char*>(__builtin_alloca(bytes));
  for (std::size_t i = bytes; i-- > 0;) area[i] = kPaint;  // from the top down, as the stack grows
  asm volatile("" : : "r"(area) : "memory");
  return reinterpret_cast<std::uintptr_t>(area);
}

__attribute__((noinline)) void PaintThenCall(std::size_t* used, const std::function<void()>& body) {
  char here = 0;
  const auto* low = reinterpret_cast<const unsigned char*>(Paint(kPainted));
  CallBody(body);
  const unsigned char* touched = low;
  while (*touched == kPaint) ++touched;
  *used = static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&here) - touched);
}

#ifdef _WIN32
DWORD WINAPI ThreadStart(void* parameter) {
  (*static_cast<const std::function<void()>*>(parameter))();
  return 0;
}
#endif

// Runs `job` on a new thread with a large stack and waits for it.
bool RunOnThread(const std::function<void()>& job) {
#ifdef _WIN32
  HANDLE thread = CreateThread(nullptr, kThreadStack, ThreadStart, const_cast<std::function<void()>*>(&job),
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return true;
#else
  (void)kThreadStack;
  std::thread thread(job);
  thread.join();
  return true;
#endif
}

}  // namespace

bool RunWithStackLeft(std::size_t bytes, const std::function<void()>& body) {
  return RunOnThread([&] { TakeStackThenCall(bytes, body); });
}

std::size_t MeasureStackUse(const std::function<void()>& body) {
  std::size_t used = 0;
  RunOnThread([&] { PaintThenCall(&used, body); });
  return used;
}

}  // namespace pellmora::testing
