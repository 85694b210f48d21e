#include "support/host/host_resources.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "support/host/host_registry_control.h"
#include "support/host/host_system.h"

namespace {

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return text;
}

// A resource name or type as the lookup key: "#<id>" for an integer identifier, else the
// upper-cased name (resource names compare without regard to case).
std::string ResourceKey(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
  return Folded(name);
}

struct Resource {
  std::string bytes;
};

struct Module {
  // type -> name -> resource
  std::map<std::string, std::map<std::string, std::unique_ptr<Resource>>> types;
};

struct Resources {
  std::mutex mutex;
  std::map<std::string, Module> modules;  // by upper-cased path
  std::map<HMODULE, Module*> loaded;
  uintptr_t nextModule = 0x10000;
};

Resources& TheResources() {
  static Resources resources;
  return resources;
}

}  // namespace

HMODULE LoadLibraryExA(LPCSTR path, HANDLE, DWORD flags) {
  auto& resources = TheResources();
  std::lock_guard<std::mutex> lock(resources.mutex);
  if (path == nullptr || (flags & LOAD_LIBRARY_AS_DATAFILE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const auto found = resources.modules.find(Folded(path));
  if (found == resources.modules.end()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  auto* handle = reinterpret_cast<HMODULE>(resources.nextModule);
  resources.nextModule += 0x10000;
  resources.loaded[handle] = &found->second;
  return handle;
}

BOOL FreeLibrary(HMODULE module) {
  auto& resources = TheResources();
  std::lock_guard<std::mutex> lock(resources.mutex);
  if (resources.loaded.erase(module) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  auto& resources = TheResources();
  std::lock_guard<std::mutex> lock(resources.mutex);
  const auto found = resources.loaded.find(module);
  if (found == resources.loaded.end() || name == nullptr || type == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const auto byType = found->second->types.find(ResourceKey(type));
  if (byType == found->second->types.end()) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  const auto byName = byType->second.find(ResourceKey(name));
  if (byName == byType->second.end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(byName->second.get());
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return reinterpret_cast<Resource*>(resource)->bytes.data();
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(reinterpret_cast<Resource*>(resource)->bytes.size());
}

void HostDefineResource(const std::string& modulePath, const std::string& type, WORD id, const std::string& bytes) {
  auto& resources = TheResources();
  std::lock_guard<std::mutex> lock(resources.mutex);
  auto resource = std::make_unique<Resource>();
  resource->bytes = bytes;
  resources.modules[Folded(modulePath)].types[Folded(type)]["#" + std::to_string(id)] = std::move(resource);
}

void HostResetResources() {
  auto& resources = TheResources();
  std::lock_guard<std::mutex> lock(resources.mutex);
  resources.modules.clear();
  resources.loaded.clear();
}

int HostLoadedModules() {
  auto& resources = TheResources();
  std::lock_guard<std::mutex> lock(resources.mutex);
  return static_cast<int>(resources.loaded.size());
}
