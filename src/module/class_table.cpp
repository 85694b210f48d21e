#include "module/class_table.h"

#include "module/server_module.h"
#include "support/mutex.h"

namespace pellmora {

ClassTable::ClassTable(HINSTANCE typeLibraryModule, ClassEntry* entries, std::size_t count) noexcept
    : typeLibraryModule_(typeLibraryModule), entries_(entries), count_(count) {
  if (InitMutex(&mapMutex_) == S_OK) {
    mutexReady_ = true;
  } else {
    g_moduleInitFailed = true;
  }
}

ClassTable::~ClassTable() {
  if (alive_ == 0) return;
  for (ClassEntry& entry : *this) {
    if (IUnknown* cached = entry.classObject.exchange(nullptr)) cached->Release();
  }
  if (mutexReady_) DeleteCriticalSection(&mapMutex_);
  mutexReady_ = false;
  alive_ = 0;
}

void ClassTable::NotifyModuleState(bool starting) noexcept {
  for (ClassEntry& entry : *this) {
    if (entry.moduleStateChanged != nullptr) entry.moduleStateChanged(starting);
  }
}

HRESULT ClassTable::GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept {
  if (alive_ == 0) return E_UNEXPECTED;
  if (out == nullptr) return E_POINTER;
  *out = nullptr;

  ClassEntry* found = nullptr;
  for (ClassEntry& entry : *this) {
    if (entry.createClassObject != nullptr && IsEqualCLSID(*entry.clsid, clsid)) {
      found = &entry;
      break;
    }
  }
  if (found == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

  HRESULT result = S_OK;
  IUnknown* cached = found->classObject.load(std::memory_order_acquire);
  if (cached == nullptr) {
    // Checked again under the mutex so that concurrent first requests create one factory only.
    MutexLock lock(&mapMutex_);
    cached = found->classObject.load(std::memory_order_relaxed);
    if (cached == nullptr) {
      IUnknown* created = nullptr;
      result = found->createClassObject(found->createInstance, IID_IUnknown, reinterpret_cast<void**>(&created));
      if (created != nullptr) found->classObject.store(created, std::memory_order_release);
      cached = created;
    }
  }
  if (cached != nullptr) result = cached->QueryInterface(iid, out);
  if (*out == nullptr && result == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
  return result;
}

}  // namespace pellmora
