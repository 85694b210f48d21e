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

}  // namespace

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
