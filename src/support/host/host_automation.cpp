#include "support/host/host_automation.h"

#include <atomic>
#include <cstdlib>

#include "support/host/host_registry_control.h"

namespace {

std::atomic<int> g_allocationsBeforeFailure{-1};
std::atomic<int> g_taskBlocks{0};

// False when an injected failure is due; counts the allocation otherwise.
bool AllocationAllowed() {
  int left = g_allocationsBeforeFailure.load();
  while (left >= 0) {
    if (left == 0) return false;
    if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) return true;
  }
  return true;
}

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

}  // namespace

HRESULT VarUI4FromStr(const OLECHAR* text, LCID, ULONG, ULONG* result) {
  if (text == nullptr || result == nullptr) return E_INVALIDARG;
  const OLECHAR* unit = text;
  while (IsBlank(*unit)) ++unit;
  uint64_t number = 0;
  bool digits = false;
  bool overflow = false;
  for (; *unit >= u'0' && *unit <= u'9'; ++unit) {
    digits = true;
    number = number * 10 + static_cast<uint64_t>(*unit - u'0');
    if (number > 0xFFFFFFFFu) {
      overflow = true;
      number = 0xFFFFFFFFu;
    }
  }
  while (IsBlank(*unit)) ++unit;
  if (!digits || *unit != 0) return DISP_E_TYPEMISMATCH;
  if (overflow) return DISP_E_OVERFLOW;
  *result = static_cast<ULONG>(number);
  return S_OK;
}

LPVOID CoTaskMemAlloc(SIZE_T size) {
  if (!AllocationAllowed()) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) ++g_taskBlocks;
  return block;
}

LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) {
  if (block == nullptr) return CoTaskMemAlloc(size);
  if (!AllocationAllowed()) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

void CoTaskMemFree(LPVOID block) {
  if (block == nullptr) return;
  --g_taskBlocks;
  std::free(block);
}

void HostFailTaskMemoryAfter(int successes) { g_allocationsBeforeFailure = successes; }

int HostTaskMemoryBlocks() { return g_taskBlocks; }
