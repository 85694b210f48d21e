// The 32-bit DLL's unwinder lock (src/module/unwinder_lock.cpp) under contention. The lock is built
// into this program and driven through the pointers the unwinder's import slots are renamed to,
// in the way the unwinder's win32-threads mutex drives them.
//
// The hard case: many threads want the lock at once while a thread of lower priority holds it,
// all on one processor. Waiters that keep the processor (a Sleep(0)-only spin yields to equal or
// higher priorities only) starve the holder on Windows until the scheduler boosts it, seconds
// later: the time limit catches that. Wine's scheduler ignores Windows priorities, so there the
// holder that cannot run is stood for by one that sleeps while it holds the lock; waiters that
// spin meanwhile take the processor, waiters that back off leave it nearly idle: less than a
// quarter of what as many threads spinning on Sleep(0) take in the same time on the same
// processor, a measure that the machine's other load moves alike.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" {
extern HANDLE(WINAPI* pellmora_unwinder_CreateSemaphoreW)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
extern DWORD(WINAPI* pellmora_unwinder_WaitForSingleObject)(HANDLE, DWORD);
extern BOOL(WINAPI* pellmora_unwinder_ReleaseSemaphore)(HANDLE, LONG, LPLONG);
}

namespace {

// The unwinder's mutex: a counter that is -1 when free, and a semaphore, created empty, that the
// second and later lockers wait on.
struct UnwinderMutex {
  volatile LONG counter = -1;
  HANDLE semaphore = pellmora_unwinder_CreateSemaphoreW(nullptr, 0, 65535, nullptr);

  void Lock() {
    if (InterlockedIncrement(&counter) != 0) {
      EXPECT_EQ(pellmora_unwinder_WaitForSingleObject(semaphore, INFINITE), WAIT_OBJECT_0);
    }
  }
  void Unlock() {
    if (InterlockedDecrement(&counter) >= 0) {
      EXPECT_TRUE(pellmora_unwinder_ReleaseSemaphore(semaphore, 1, nullptr));
    }
  }
};

constexpr int kWaiters = 8;
constexpr int kRoundsPerWaiter = 20;
// How long the holder cannot run while it holds the lock, then its work there, in processor time.
constexpr DWORD kHolderOffMs = 500;
constexpr uint64_t kHolderWorkMs = 100;
// Far above what the holder's work takes, far below a starved holder's wait for a boost.
constexpr DWORD kTimeLimitMs = 15000;

uint64_t Ms(const FILETIME& kernel, const FILETIME& user) {
  const auto ticks = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  return (ticks(kernel) + ticks(user)) / 10000;
}
uint64_t ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  return GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user) ? Ms(kernel, user) : 0;
}
uint64_t ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  return GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user) ? Ms(kernel, user) : 0;
}

struct Contention {
  UnwinderMutex mutex;
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG coming = 0;
  volatile LONG inside = 0;
  volatile LONG overlaps = 0;
  volatile LONG acquisitions = 0;
  // Processor time of the process while only the waiters could run, and how long that was.
  uint64_t waitersCpuMs = 0;
  DWORD offMs = 0;

  // One turn under the lock: nobody else may be inside.
  void Turn() {
    if (InterlockedIncrement(&inside) != 1) InterlockedIncrement(&overlaps);
    InterlockedIncrement(&acquisitions);
    InterlockedDecrement(&inside);
  }
};

DWORD WINAPI Holder(void* argument) {
  auto& c = *static_cast<Contention*>(argument);
  c.mutex.Lock();
  c.Turn();
  SetEvent(c.held);
  // Measured once every waiter is on its way to the lock.
  while (c.coming < kWaiters) Sleep(1);
  Sleep(20);
  const DWORD wall0 = GetTickCount();
  const uint64_t process0 = ProcessCpuMs();
  Sleep(kHolderOffMs);
  c.waitersCpuMs = ProcessCpuMs() - process0;
  c.offMs = GetTickCount() - wall0;
  const uint64_t thread0 = ThreadCpuMs();
  volatile uint32_t spin = 0;
  while (ThreadCpuMs() - thread0 < kHolderWorkMs) {
    for (int n = 0; n < 10000; ++n) spin = spin + 1;
  }
  c.mutex.Unlock();
  return 0;
}

DWORD WINAPI Waiter(void* argument) {
  auto& c = *static_cast<Contention*>(argument);
  WaitForSingleObject(c.held, INFINITE);
  InterlockedIncrement(&c.coming);
  for (int round = 0; round < kRoundsPerWaiter; ++round) {
    c.mutex.Lock();
    c.Turn();
    c.mutex.Unlock();
  }
  return 0;
}

volatile LONG spinnersStop;
volatile LONG spinnersRunning;

DWORD WINAPI Spinner(void*) {
  InterlockedIncrement(&spinnersRunning);
  while (spinnersStop == 0) Sleep(0);
  return 0;
}

// The processor time that kWaiters threads spinning on Sleep(0) take in `ms` on this processor,
// whatever else the machine runs: what waiters that never back off would take.
uint64_t SpinnersCpuMs(DWORD ms) {
  spinnersStop = 0;
  spinnersRunning = 0;
  std::vector<HANDLE> spinners;
  for (int n = 0; n < kWaiters; ++n) {
    HANDLE spinner = CreateThread(nullptr, 0, Spinner, nullptr, 0, nullptr);
    if (spinner != nullptr) spinners.push_back(spinner);
  }
  // Measured once they all spin: starting a thread costs more than a little under emulation.
  while (spinnersRunning < static_cast<LONG>(spinners.size())) Sleep(1);
  const uint64_t process0 = ProcessCpuMs();
  Sleep(ms);
  const uint64_t used = ProcessCpuMs() - process0;
  InterlockedExchange(&spinnersStop, 1);
  for (HANDLE spinner : spinners) {
    WaitForSingleObject(spinner, INFINITE);
    CloseHandle(spinner);
  }
  return used;
}

// Runs the process on one processor while it lives.
class OneProcessor {
 public:
  OneProcessor() {
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &saved_, &system) && saved_ != 0) {
      pinned_ = SetProcessAffinityMask(GetCurrentProcess(), saved_ & (~saved_ + 1)) != FALSE;
    }
  }
  ~OneProcessor() {
    if (pinned_) SetProcessAffinityMask(GetCurrentProcess(), saved_);
  }
  bool pinned() const { return pinned_; }

 private:
  DWORD_PTR saved_ = 0;
  bool pinned_ = false;
};

// One contention: every thread must take the lock within the time limit, one at a time. Gives
// the waiters' processor time while the holder could not run, and what as many spinning threads
// take in as long.
void Contend(uint64_t& waitersCpuMs, uint64_t& spinnersCpuMs) {
  // Leaked on a failed time limit: threads still waiting may use it until the process ends.
  auto* c = new Contention;
  ASSERT_NE(c->mutex.semaphore, nullptr);
  ASSERT_NE(c->held, nullptr);

  // The waiters are ready before the holder starts, so that starting them costs nothing during
  // the hold; they all go for the lock the moment the holder has it.
  std::vector<HANDLE> threads;
  for (int n = 0; n < kWaiters; ++n) {
    HANDLE waiter = CreateThread(nullptr, 0, Waiter, c, 0, nullptr);
    ASSERT_NE(waiter, nullptr);
    threads.push_back(waiter);
  }
  HANDLE holder = CreateThread(nullptr, 0, Holder, c, CREATE_SUSPENDED, nullptr);
  ASSERT_NE(holder, nullptr);
  threads.push_back(holder);
  ASSERT_TRUE(SetThreadPriority(holder, THREAD_PRIORITY_LOWEST));
  ResumeThread(holder);

  const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, kTimeLimitMs);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the threads had not all taken the lock after " << kTimeLimitMs << " ms";
  for (HANDLE thread : threads) CloseHandle(thread);

  EXPECT_EQ(c->acquisitions, 1 + kWaiters * kRoundsPerWaiter);
  EXPECT_EQ(c->overlaps, 0);
  waitersCpuMs = c->waitersCpuMs;
  spinnersCpuMs = SpinnersCpuMs(c->offMs);
  std::printf("holder off %lu ms: waiters used %llu ms of processor time, as many threads spinning %llu ms\n",
              static_cast<unsigned long>(c->offMs), static_cast<unsigned long long>(waitersCpuMs),
              static_cast<unsigned long long>(spinnersCpuMs));
  CloseHandle(c->held);
  delete c;
}

TEST(UnwinderLock, WaitersLeaveOneProcessorToALowerPriorityHolder) {
  OneProcessor oneProcessor;
  ASSERT_TRUE(oneProcessor.pinned());
  // Waiters that back off take a few percent of what the spinning threads take (0 to 15% under
  // Wine, 64-bit and emulated 32-bit, on a busy machine); waiters that spin take about as much
  // (35 to 130%). Processor time on a shared machine is noisy: the best of three contentions
  // counts. (Three semaphores: the lock keeps four in memory.)
  uint64_t waitersCpuMs = 0, spinnersCpuMs = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Contend(waitersCpuMs, spinnersCpuMs);
    if (::testing::Test::HasFatalFailure() || waitersCpuMs * 4 < spinnersCpuMs) break;
  }
  EXPECT_LT(waitersCpuMs * 4, spinnersCpuMs)
      << "the waiters used " << waitersCpuMs << " ms of processor time while the holder could not run; as many "
      << "threads spinning on Sleep(0) use " << spinnersCpuMs << " ms in that time";
}

}  // namespace
