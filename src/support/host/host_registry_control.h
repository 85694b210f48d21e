// Test controls of the host registry, resources and task memory. Nothing here exists on Windows;
// only host-only tests and the fuzz target include it.
#pragma once

#include <string>
#include <vector>

#include "support/host/host_types.h"

// The registry operations a failure can be injected into.
enum class HostRegistryOperation {
  Any,
  Open,
  Create,
  Close,
  SetValue,
  QueryValue,
  DeleteValue,
  DeleteKey,
  EnumKey,
  EnumValue,
  QueryInfo
};

// One injected failure: `operation` on the key at `keyPath` (full path such as
// "HKEY_CURRENT_USER\Software\X", any case; empty for every key) fails with `code`. The first
// `skip` matching calls pass, then `times` calls fail (-1: every later call). For opening,
// creating and deleting a key the path is the key being opened, created or deleted; for the
// other operations it is the key of the handle. An injected close still releases the handle.
struct HostRegistryFailure {
  HostRegistryOperation operation = HostRegistryOperation::Any;
  std::string keyPath;
  DWORD code = 0;
  int skip = 0;
  int times = 1;
};

// One registry call as recorded while tracing: the operation and the key path it acted on.
struct HostRegistryCall {
  HostRegistryOperation operation;
  std::string keyPath;
};

// Empties every root key, forgets all handles, injected failures, the call count and the trace.
void HostResetRegistry();
// How many handles are open (the predefined roots never count).
int HostOpenRegistryHandles();
// Adds an injected failure; they are checked in the order added.
void HostInjectRegistryFailure(const HostRegistryFailure& failure);
void HostClearRegistryFailures();
// Registry calls made since the last reset, and their trace when tracing is on.
int HostRegistryCallCount();
void HostTraceRegistry(bool on);
std::vector<HostRegistryCall> HostRegistryTrace();

// Resources as bytes by module path (any case), type name and integer identifier.
void HostDefineResource(const std::string& modulePath, const std::string& type, WORD id, const std::string& bytes);
void HostResetResources();
// Modules loaded by LoadLibraryExA and not yet freed.
int HostLoadedModules();

// Task memory: after `successes` more successful allocations or re-allocations every further one
// fails (-1: none fails). Blocks currently allocated.
void HostFailTaskMemoryAfter(int successes);
int HostTaskMemoryBlocks();
