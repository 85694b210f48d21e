#include "allocation_spy.h"

namespace pellmora::testing {

bool AllocationSpy::Register() noexcept {
  registered_ = SUCCEEDED(CoRegisterMallocSpy(this));
  return registered_;
}

void AllocationSpy::Revoke() noexcept {
  if (registered_) CoRevokeMallocSpy();
  registered_ = false;
}

HRESULT AllocationSpy::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
    *out = static_cast<IMallocSpy*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

void* AllocationSpy::PostAlloc(void* block) {
  if (block != nullptr) ++live_;
  return block;
}

void* AllocationSpy::PreFree(void* block, BOOL spied) {
  if (block != nullptr && spied) --live_;
  return block;
}

// A realloc from nothing takes a block, one to size 0 gives it back, and one between two blocks
// keeps the count; only a failed realloc to a size leaves the old block where it was.
SIZE_T AllocationSpy::PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL spied) {
  reallocFromNothing_ = block == nullptr;
  reallocToNothing_ = block != nullptr && size == 0;
  reallocSpied_ = spied != FALSE;
  *newBlock = block;
  return size;
}

void* AllocationSpy::PostRealloc(void* block, BOOL) {
  if (reallocFromNothing_ && block != nullptr) ++live_;
  if (reallocToNothing_ && reallocSpied_) --live_;
  return block;
}

}  // namespace pellmora::testing
