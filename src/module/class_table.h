// The object map: the compiled-in rows of the classes this library serves, and the lookup behind
// DllGetClassObject that creates each class's factory once and keeps it.
#pragma once

#include <atomic>
#include <cstddef>

#include "support/platform.h"

namespace pellmora {

// Creates one instance of a class: standalone when `outer` is null, aggregated otherwise.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);
// Creates the class object of a class around the class's instance creator.
using ClassObjectCreator = HRESULT (*)(InstanceCreator creator, REFIID iid, void** out);

// One component category of a class. Kind 1: implemented; any other nonzero kind: required;
// kind 0 ends a list.
struct ClassCategory {
  DWORD kind;
  const GUID* category;
};

struct ClassEntry {
  const CLSID* clsid;
  // Adds or removes the class's registry entries; what they name under HKEY_CLASSES_ROOT goes to
  // the open key `classesRoot` (the machine's or the user's classes key).
  HRESULT (*updateRegistration)(bool registering, HKEY classesRoot);
  ClassObjectCreator createClassObject;
  InstanceCreator createInstance;
  std::atomic<IUnknown*> classObject;    // the cached class object, one reference owned by the row
  const ClassCategory* (*categories)();  // null: the class declares no categories
  void (*moduleStateChanged)(bool starting);
};

class ClassTable {
 public:
  // Serves the `count` rows at `entries` and creates the map mutex; a failure marks the load as
  // failed.
  ClassTable(HINSTANCE typeLibraryModule, ClassEntry* entries, std::size_t count) noexcept;
  // Releases the cached class objects in table order.
  ~ClassTable();
  ClassTable(const ClassTable&) = delete;
  ClassTable& operator=(const ClassTable&) = delete;

  // DllGetClassObject: E_UNEXPECTED after teardown, E_POINTER without `out`,
  // CLASS_E_CLASSNOTAVAILABLE for a class not in the map; otherwise the cached class object's
  // answer to `iid`, creating that object on first use.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept;

  // Calls each row's module-state hook, in table order.
  void NotifyModuleState(bool starting) noexcept;

  HINSTANCE TypeLibraryModule() const noexcept { return typeLibraryModule_; }
  ClassEntry* begin() const noexcept { return entries_; }
  ClassEntry* end() const noexcept { return entries_ + count_; }

 private:
  LONG alive_ = 1;
  HINSTANCE typeLibraryModule_;
  ClassEntry* entries_;
  std::size_t count_;
  bool mutexReady_ = false;
  CRITICAL_SECTION mapMutex_;
};

}  // namespace pellmora
