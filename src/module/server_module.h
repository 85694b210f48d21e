// Module-wide state of the loaded library: the lock count that decides whether it may be
// unloaded, the callbacks to run when it terminates, and the module mutex.
#pragma once

#include "support/platform.h"

namespace pellmora {

class ClassTable;
class ScriptRegistrar;

class ServerModule {
 public:
  using TerminationCallback = void (*)(void* argument);

  // Sets the process-wide pointer, creates the module mutex (a failure marks the load as failed)
  // and tells each class of `classes` that the module has started.
  explicit ServerModule(ClassTable& classes) noexcept;
  // Tells each class that the module stops, then runs the termination callbacks newest first.
  virtual ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // The module of this process; null before load and after unload.
  static ServerModule* Current() noexcept;

  // Interlocked changes of the lock count; each returns the new count.
  virtual LONG Lock() noexcept;
  virtual LONG Unlock() noexcept;
  virtual LONG GetLockCount() const noexcept;

  // Defines the replacements that every registration script of this library uses: "APPID".
  virtual HRESULT AddCommonReplacements(ScriptRegistrar& registrar) noexcept;

  // Records `callback(argument)` to run at termination: S_OK, or E_OUTOFMEMORY with nothing
  // recorded.
  HRESULT AddTerminationCallback(TerminationCallback callback, void* argument) noexcept;

  // Recursive: the type-information loader holds it while it registers its release callback.
  CRITICAL_SECTION& Mutex() noexcept { return mutex_; }

 private:
  struct TerminationNode {
    TerminationCallback callback;
    void* argument;
    TerminationNode* next;
  };

  void RunTermination() noexcept;

  LONG alive_ = 1;
  LONG lockCount_ = 0;
  TerminationNode* terminationHead_ = nullptr;
  bool mutexReady_ = false;
  CRITICAL_SECTION mutex_;
  ClassTable& classes_;
};

// Lock and Unlock of the module while it exists, nothing afterwards. At process exit the
// module is torn down even while a client still holds a class factory; releasing the cached
// factory then arrives after the module has gone.
void LockModule() noexcept;
void UnlockModule() noexcept;

// Set when a module-wide record could not create its mutex during load; the load then fails.
extern bool g_moduleInitFailed;

}  // namespace pellmora
