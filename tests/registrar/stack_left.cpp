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

#ifdef _WIN32
struct Job {
  std::size_t bytes;
  const std::function<void()>* body;
};

DWORD WINAPI ThreadMain(void* parameter) {
  const Job* job = static_cast<const Job*>(parameter);
  TakeStackThenCall(job->bytes, *job->body);
  return 0;
}
#endif

}  // namespace

bool RunWithStackLeft(std::size_t bytes, const std::function<void()>& body) {
#ifdef _WIN32
  Job job{bytes, &body};
  HANDLE thread = CreateThread(nullptr, kThreadStack, ThreadMain, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return true;
#else
  (void)kThreadStack;
  std::thread thread([&] { TakeStackThenCall(bytes, body); });
  thread.join();
  return true;
#endif
}

}  // namespace pellmora::testing
