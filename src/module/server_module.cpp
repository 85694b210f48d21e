#include "module/server_module.h"

#include <new>

#include "module/class_table.h"
#include "module/self_registration.h"
#include "registrar/script_registrar.h"
#include "support/mutex.h"

namespace pellmora {

namespace {
ServerModule* g_current = nullptr;
}  // namespace

bool g_moduleInitFailed = false;

ServerModule::ServerModule(ClassTable& classes) noexcept : classes_(classes) {
  g_current = this;
  if (InitMutex(&mutex_) == S_OK) {
    mutexReady_ = true;
  } else {
    g_moduleInitFailed = true;
  }
  classes_.NotifyModuleState(true);
}

ServerModule::~ServerModule() {
  classes_.NotifyModuleState(false);
  RunTermination();
  g_current = nullptr;
}

ServerModule* ServerModule::Current() noexcept { return g_current; }

void LockModule() noexcept {
  if (ServerModule* module = ServerModule::Current()) module->Lock();
}

void UnlockModule() noexcept {
  if (ServerModule* module = ServerModule::Current()) module->Unlock();
}

LONG ServerModule::Lock() noexcept { return InterlockedIncrement(&lockCount_); }

LONG ServerModule::Unlock() noexcept { return InterlockedDecrement(&lockCount_); }

LONG ServerModule::GetLockCount() const noexcept { return lockCount_; }

HRESULT ServerModule::AddCommonReplacements(ScriptRegistrar& registrar) noexcept {
  return registrar.DefineReplacement(u"APPID", kApplicationIdText);
}

HRESULT ServerModule::AddTerminationCallback(TerminationCallback callback, void* argument) noexcept {
  auto* node = new (std::nothrow) TerminationNode{callback, argument, nullptr};
  if (node == nullptr) return E_OUTOFMEMORY;
  MutexLock lock(&mutex_);
  node->next = terminationHead_;
  terminationHead_ = node;
  return S_OK;
}

void ServerModule::RunTermination() noexcept {
  if (alive_ == 0) return;
  // Newest first: a callback registered later may depend on state set up by an earlier one.
  for (TerminationNode* node = terminationHead_; node != nullptr;) {
    TerminationNode* next = node->next;
    node->callback(node->argument);
    delete node;
    node = next;
  }
  terminationHead_ = nullptr;
  // A mutex whose creation failed was never initialised and must not be deleted.
  if (mutexReady_) DeleteCriticalSection(&mutex_);
  mutexReady_ = false;
  alive_ = 0;
}

}  // namespace pellmora
