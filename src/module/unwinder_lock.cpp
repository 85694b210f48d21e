// The lock of the 32-bit DLL's exception unwinder, without a kernel object.
//
// GCC's i686 runtime unwinds C++ exceptions with DWARF tables, which the DLL registers with the
// unwinder linked into it (libgcc_eh's unwind-dw2-fde.o) when it loads and withdraws when it
// unloads. The unwinder guards its list of tables with a mutex that, in the win32-threads runtime,
// waits on a semaphore created at the first registration and never closed: one kernel handle
// left behind by every load of the DLL. The build links a copy of that unwinder object whose
// three semaphore calls are redirected here (see CMakeLists.txt: objcopy --redefine-sym):
// a counting semaphore kept in a word of the DLL's own memory, which goes away with the DLL.
// The unwinder takes the lock rarely (load, unload, the first throw through a frame) and holds
// it briefly, so waiting by yielding the processor costs nothing measurable.
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

DWORD WINAPI WaitForUnwinderSemaphore(HANDLE handle, DWORD milliseconds) {
  volatile LONG* count = SlotOf(handle);
  if (count == nullptr) return WaitForSingleObject(handle, milliseconds);
  const DWORD start = GetTickCount();
  for (;;) {
    const LONG available = *count;
    if (available > 0 && InterlockedCompareExchange(count, available - 1, available) == available) {
      return WAIT_OBJECT_0;
    }
    if (milliseconds != INFINITE && GetTickCount() - start >= milliseconds) return WAIT_TIMEOUT;
    Sleep(0);
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
