#include "module/class_factory.h"

#include <new>

#include "automation/interface_table.h"
#include "module/server_module.h"
#include "support/mutex.h"
#include "support/result_codes.h"

namespace pellmora {

namespace {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(InstanceCreator creator) : creator_(creator) {
    const HRESULT created = InitMutex(&referenceMutex_);
    if (created != S_OK) ThrowResult(created);
  }
  virtual ~ClassFactory() { DeleteCriticalSection(&referenceMutex_); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    static const InterfaceEntry kInterfaces[] = {{&IID_IClassFactory, 0}, {nullptr, 0}};
    return FindInterface(this, kInterfaces, iid, out);
  }

  // The first reference (the one the object map caches) never holds the module; all further
  // references together hold exactly one lock, taken on the step from 1 to 2 and given back on
  // the step from 2 to 1. The mutex makes each test see the count its own step produced.
  ULONG STDMETHODCALLTYPE AddRef() noexcept override {
    MutexLock lock(&referenceMutex_);
    const LONG count = InterlockedIncrement(&count_);
    if (count == 2) LockModule();
    return static_cast<ULONG>(count);
  }

  ULONG STDMETHODCALLTYPE Release() noexcept override {
    LONG count;
    {
      MutexLock lock(&referenceMutex_);
      count = InterlockedDecrement(&count_);
    }
    if (count == 0) {
      delete this;
    } else if (count == 1) {
      UnlockModule();
    }
    return static_cast<ULONG>(count);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    // An aggregating outer object must hold the inner IUnknown, never another interface.
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return creator_(outer, iid, out);
  }

  // Not counted per factory: the caller balances its calls.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  LONG count_ = 0;
  CRITICAL_SECTION referenceMutex_;
  InstanceCreator creator_;
};

}  // namespace

HRESULT CreateClassFactory(InstanceCreator creator, REFIID iid, void** out) noexcept {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  ClassFactory* factory = nullptr;
  try {
    factory = new ClassFactory(creator);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT result = factory->QueryInterface(iid, out);
  if (result != S_OK) delete factory;
  return result;
}

}  // namespace pellmora
