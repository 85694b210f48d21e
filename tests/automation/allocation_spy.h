// Counts the blocks of the component runtime's task allocator (where automation strings, safe
// arrays and their contents live) that are taken and not yet given back, through the platform's
// allocator hook. Blocks taken before the spy was registered are not counted when freed.
#pragma once

#include "support/platform.h"

namespace pellmora::testing {

class AllocationSpy final : public IMallocSpy {
 public:
  // Registers the spy for the process (CoRegisterMallocSpy); false when the runtime refuses it.
  bool Register() noexcept;
  // Revokes it again; blocks it counted may still be freed later.
  void Revoke() noexcept;
  // Blocks taken since registration and not given back.
  long Live() const noexcept { return live_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override;
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override;
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL spied) override;
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL spied) override;
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int result) override { return result; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  long live_ = 0;
  // What the realloc between PreRealloc and PostRealloc started from (the runtime serialises them).
  bool reallocFromNothing_ = false;
  bool reallocToNothing_ = false;
  bool reallocSpied_ = false;
  bool registered_ = false;
};

}  // namespace pellmora::testing
