// The lock of the 32-bit DLL's exception unwinder, without a kernel object.
//
// GCC's i686 runtime unwinds C++ exceptions with DWARF tables, which the DLL registers with the
// unwinder linked into it (libgcc_eh's unwind-dw2-fde.o) when it loads and withdraws when it
// unloads. The unwinder guards its list of tables with a mutex that, in the win32-threads runtime,
// waits on a semaphore created at the first registration and never closed: one kernel handle
// left behind by every load of the DLL. The build links a copy of that unwinder object whose
// three semaphore calls are redirected here (see CMakeLists.txt: objcopy --redefine-sym):
// a counting semaphore kept in a word of the DLL's own memory, which goes away with the DLL.
// The unwinder takes the lock at load and unload and, through _Unwind_Find_FDE, on every frame of
// every throw, and holds it briefly. Threads throwing at once therefore do wait on each other; the
// holder may run at a lower priority than the waiters and share one processor with them, and it
// may even be gone (a thread terminated inside the unwinder). So a waiter spins only briefly, then
// yields to any thread ready on its processor, then sleeps: it never takes the processor from the
// holder for good, and never burns a whole processor waiting for a lock nobody will release.
#include <windows.h>

namespace {

// One slot per semaphore the unwinder creates (it creates one per load); a request beyond them
// gets a real semaphore, which the redirected wait and release recognise and pass through.
constexpr int kSlots = 4;
volatile LONG slotCounts[kSlots];
volatile LONG slotsTaken = 0;

volatile LONG* SlotOf(HANDLE handle) {
  auto* count = reinterpret_cast<volatile LONG*>(handle);
  return count >= &slotCounts[0] && count < &slotCounts[kSlots] ? count : nullptr;
}

HANDLE WINAPI CreateUnwinderSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
  const LONG slot = InterlockedIncrement(&slotsTaken) - 1;
  if (slot >= kSlots || name != nullptr) return CreateSemaphoreW(attributes, initial, maximum, name);
  slotCounts[slot] = initial;
  return const_cast<LONG*>(&slotCounts[slot]);
}

// How a waiter waits before its next try. A holder running on another processor usually lets go
// within a few hundred cycles: spin. One preempted on this processor needs it: SwitchToThread runs
// any thread ready here, whatever its priority (Sleep(0) would run only those of equal or higher
// priority, so a waiter above the holder's priority would spin until the scheduler boosted the
// holder, seconds later). A holder that still has not let go is blocked or gone: sleep, which lets
// every thread on every processor run. A millisecond at first; after that, as long as the
// system's default clock tick (15.6 ms), which is what a millisecond's sleep lasts on Windows
// anyway unless a program has raised the timer's resolution: waiters on a holder that is gone
// then cost next to nothing, on every system.
constexpr unsigned kSpinRounds = 64;
constexpr unsigned kSwitchRounds = 16;
constexpr unsigned kShortSleeps = 16;

void BackOff(unsigned round) {
  if (round < kSpinRounds) {
    YieldProcessor();
  } else if (round < kSpinRounds + kSwitchRounds) {
    SwitchToThread();
  } else {
    Sleep(round < kSpinRounds + kSwitchRounds + kShortSleeps ? 1 : 15);
  }
}

DWORD WINAPI WaitForUnwinderSemaphore(HANDLE handle, DWORD milliseconds) {
  volatile LONG* count = SlotOf(handle);
  if (count == nullptr) return WaitForSingleObject(handle, milliseconds);
  const DWORD start = GetTickCount();
  for (unsigned round = 0;; ++round) {
    const LONG available = *count;
    if (available > 0 && InterlockedCompareExchange(count, available - 1, available) == available) {
      return WAIT_OBJECT_0;
    }
    if (milliseconds != INFINITE && GetTickCount() - start >= milliseconds) return WAIT_TIMEOUT;
    BackOff(round);
  }
}

BOOL WINAPI ReleaseUnwinderSemaphore(HANDLE handle, LONG release, LPLONG previous) {
  volatile LONG* count = SlotOf(handle);
  if (count == nullptr) return ReleaseSemaphore(handle, release, previous);
  const LONG before = InterlockedExchangeAdd(count, release);
  if (previous != nullptr) *previous = before;
  return TRUE;
}

}  // namespace

// What the unwinder's import slots are renamed to: pointers, as the import slots themselves are.
extern "C" {
HANDLE(WINAPI* pellmora_unwinder_CreateSemaphoreW)
(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR) = &CreateUnwinderSemaphore;
DWORD(WINAPI* pellmora_unwinder_WaitForSingleObject)(HANDLE, DWORD) = &WaitForUnwinderSemaphore;
BOOL(WINAPI* pellmora_unwinder_ReleaseSemaphore)(HANDLE, LONG, LPLONG) = &ReleaseUnwinderSemaphore;
}
