#include "support/host/host_system.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "support/host/host_settings.h"

namespace {
thread_local DWORD t_lastError = 0;
constexpr LCID kHostThreadLocale = 0x0409;
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
  const DWORD injected = pellmora::host::CurrentSettings().failNextMutexCreation.exchange(0);
  if (injected != 0) {
    SetLastError(injected);
    return FALSE;
  }
  section->mutex = new (std::nothrow) std::recursive_mutex;
  if (section->mutex == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex*>(section->mutex)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex*>(section->mutex)->unlock(); }
void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete static_cast<std::recursive_mutex*>(section->mutex);
  section->mutex = nullptr;
}

LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const auto& settings = pellmora::host::CurrentSettings();
  std::memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, sizeof(*info) - sizeof(DWORD));
  info->dwPlatformId = settings.platformId;
  info->dwMajorVersion = settings.majorVersion;
  return TRUE;
}

LCID GetThreadLocale() { return kHostThreadLocale; }

int GetLocaleInfoA(LCID, LCTYPE type, LPSTR data, int capacity) {
  const auto& settings = pellmora::host::CurrentSettings();
  if (type != LOCALE_IDEFAULTANSICODEPAGE || !settings.localeAnswers) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int needed = static_cast<int>(settings.localeAnsiCodePage.size()) + 1;
  if (capacity == 0) return needed;
  if (data == nullptr || capacity < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(data, settings.localeAnsiCodePage.c_str(), needed);
  return needed;
}

namespace {
std::atomic<int> g_heapAllocationsBeforeFailure{-1};
}  // namespace

void HostFailHeapAfter(int successes) { g_heapAllocationsBeforeFailure = successes; }

HANDLE GetProcessHeap() { return &g_heapAllocationsBeforeFailure; }

LPVOID HeapAlloc(HANDLE, DWORD, SIZE_T bytes) {
  int left = g_heapAllocationsBeforeFailure.load();
  while (left >= 0) {
    if (left == 0) return nullptr;
    if (g_heapAllocationsBeforeFailure.compare_exchange_weak(left, left - 1)) break;
  }
  return std::malloc(bytes == 0 ? 1 : bytes);
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
  std::free(block);
  return TRUE;
}
