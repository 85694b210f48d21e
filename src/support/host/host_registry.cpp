// The in-memory registry behind the host stand-ins. One tree per predefined root; handles are
// numbers mapped to the key they were opened on and the access they were opened with. A deleted
// key stays alive for the handles still open on it, which then fail with ERROR_KEY_DELETED.
#include "support/host/host_registry.h"

#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/host/host_registry_control.h"
#include "support/host/host_system.h"
#include "support/host/host_text.h"

namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

bool SameName(const std::string& left, const std::string& right) {
  if (left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); ++i) {
    if (Fold(left[i]) != Fold(right[i])) return false;
  }
  return true;
}

struct CaseLess {
  bool operator()(const std::string& left, const std::string& right) const {
    const size_t common = left.size() < right.size() ? left.size() : right.size();
    for (size_t i = 0; i < common; ++i) {
      const auto l = static_cast<unsigned char>(Fold(left[i]));
      const auto r = static_cast<unsigned char>(Fold(right[i]));
      if (l != r) return l < r;
    }
    return left.size() < right.size();
  }
};

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

struct Key {
  std::string path;  // full path from the root name, for failure injection and traces
  std::map<std::string, std::shared_ptr<Key>, CaseLess> children;
  std::map<std::string, Value, CaseLess> values;
  Key* parent = nullptr;
  int depth = 0;  // 0 for a root key
  bool deleted = false;
};

struct Handle {
  std::shared_ptr<Key> key;
  REGSAM access;
};

constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                      "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                      "HKEY_DYN_DATA"};
constexpr uintptr_t kRootCount = sizeof(kRootNames) / sizeof(kRootNames[0]);
constexpr size_t kMaxKeyNameCharacters = 255;  // as on Windows: characters, not bytes
constexpr int kMaxDepth = 512;                 // levels below a root, as on Windows

struct Registry {
  std::recursive_mutex mutex;
  std::shared_ptr<Key> roots[kRootCount];
  std::map<uintptr_t, Handle> handles;
  uintptr_t nextHandle = 0x1000;
  std::vector<HostRegistryFailure> failures;
  int calls = 0;
  bool tracing = false;
  std::vector<HostRegistryCall> trace;

  Registry() { Reset(); }

  void Reset() {
    for (uintptr_t i = 0; i < kRootCount; ++i) {
      roots[i] = std::make_shared<Key>();
      roots[i]->path = kRootNames[i];
    }
    handles.clear();
    failures.clear();
    calls = 0;
    trace.clear();
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The root index of a predefined handle, or -1.
int RootIndex(HKEY key) {
  const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  const auto wide = reinterpret_cast<uintptr_t>(key);
  if (wide != reinterpret_cast<uintptr_t>(PELLMORA_HOST_ROOT_KEY(value))) return -1;
  if (value < 0x80000000u || value >= 0x80000000u + kRootCount) return -1;
  return static_cast<int>(value - 0x80000000u);
}

// Resolves a handle to its key and access. Returns 0 or the error code.
LONG Resolve(Registry& registry, HKEY key, std::shared_ptr<Key>& target, REGSAM& access) {
  const int root = RootIndex(key);
  if (root >= 0) {
    target = registry.roots[root];
    access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  const auto found = registry.handles.find(reinterpret_cast<uintptr_t>(key));
  if (found == registry.handles.end()) return ERROR_INVALID_HANDLE;
  target = found->second.key;
  access = found->second.access;
  return target->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

std::vector<std::string> SplitPath(LPCSTR subKey) {
  std::vector<std::string> parts;
  if (subKey == nullptr) return parts;
  // Stepped by characters of the ANSI code page: a trail byte 0x5C is not a separator.
  std::string part;
  for (const char* c = subKey;;) {
    if (*c == '\\' || *c == '\0') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (*c == '\0') break;
      ++c;
    } else {
      const char* next = CharNextA(c);
      part.append(c, next);
      c = next;
    }
  }
  return parts;
}

size_t Characters(const std::string& name) {
  size_t count = 0;
  for (const char* c = name.c_str(); *c != '\0'; c = CharNextA(c)) ++count;
  return count;
}

std::string JoinPath(const std::string& base, const std::vector<std::string>& parts) {
  std::string path = base;
  for (const auto& part : parts) path += "\\" + part;
  return path;
}

// Counts the call, records it when tracing, and answers the injected failure code or 0.
DWORD Intercept(Registry& registry, HostRegistryOperation operation, const std::string& keyPath) {
  ++registry.calls;
  if (registry.tracing) registry.trace.push_back({operation, keyPath});
  for (auto& failure : registry.failures) {
    if (failure.operation != HostRegistryOperation::Any && failure.operation != operation) continue;
    if (!failure.keyPath.empty() && !SameName(failure.keyPath, keyPath)) continue;
    if (failure.skip > 0) {
      --failure.skip;
      continue;
    }
    if (failure.times == 0) continue;
    if (failure.times > 0) --failure.times;
    return failure.code;
  }
  return ERROR_SUCCESS;
}

HKEY NewHandle(Registry& registry, const std::shared_ptr<Key>& key, REGSAM access) {
  const uintptr_t value = registry.nextHandle;
  registry.nextHandle += 4;
  registry.handles[value] = Handle{key, access};
  return reinterpret_cast<HKEY>(value);
}

std::shared_ptr<Key> Child(const Key& key, const std::string& name) {
  const auto found = key.children.find(name);
  return found == key.children.end() ? nullptr : found->second;
}

// Copies `text` and its terminator into `buffer` of `*size` bytes; *size becomes the length.
LONG CopyName(const std::string& text, LPSTR buffer, LPDWORD size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  if (buffer == nullptr || text.size() + 1 > *size) {
    *size = static_cast<DWORD>(text.size());
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *size = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

LONG CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const auto needed = static_cast<DWORD>(value.data.size());
  if (data != nullptr && needed > *size) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

// Resolves the handle of an operation on one key, applies any injected failure, then checks that
// the handle grants `required`. Returns 0 or the error code.
LONG KeyForOperation(Registry& registry, HKEY key, HostRegistryOperation operation, REGSAM required,
                     std::shared_ptr<Key>& target) {
  REGSAM access = 0;
  const LONG code = Resolve(registry, key, target, access);
  if (code != ERROR_SUCCESS) return code;
  if (DWORD injected = Intercept(registry, operation, target->path)) return static_cast<LONG>(injected);
  return (access & required) == required ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Resolves `subKey` below the handle for an operation that names an existing key, applying any
// injected failure first. Returns 0 or the error code.
LONG ExistingSubKey(Registry& registry, HKEY key, LPCSTR subKey, HostRegistryOperation operation,
                    std::shared_ptr<Key>& target) {
  REGSAM access = 0;
  const LONG code = Resolve(registry, key, target, access);
  if (code != ERROR_SUCCESS) return code;
  const auto parts = SplitPath(subKey);
  if (DWORD injected = Intercept(registry, operation, JoinPath(target->path, parts))) {
    return static_cast<LONG>(injected);
  }
  for (const auto& part : parts) {
    target = Child(*target, part);
    if (target == nullptr) return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<Key> target;
  const LONG code = ExistingSubKey(registry, key, subKey, HostRegistryOperation::Open, target);
  if (code != ERROR_SUCCESS) return code;
  *result = NewHandle(registry, target, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES, PHKEY result,
                     LPDWORD disposition) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<Key> target;
  REGSAM parentAccess = 0;
  LONG code = Resolve(registry, key, target, parentAccess);
  if (code != ERROR_SUCCESS) return code;
  const auto parts = SplitPath(subKey);
  if (DWORD injected = Intercept(registry, HostRegistryOperation::Create, JoinPath(target->path, parts))) {
    return static_cast<LONG>(injected);
  }
  for (const auto& part : parts) {
    if (Characters(part) > kMaxKeyNameCharacters) return ERROR_INVALID_PARAMETER;
  }
  bool created = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::shared_ptr<Key> child = Child(*target, parts[i]);
    if (child == nullptr) {
      // Only the handle the creation starts from needs the right to add subkeys.
      if (i == 0 && (parentAccess & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
      if (target->depth + 1 > kMaxDepth) return ERROR_INVALID_PARAMETER;
      child = std::make_shared<Key>();
      child->depth = target->depth + 1;
      child->path = target->path + "\\" + parts[i];
      child->parent = target.get();
      target->children[parts[i]] = child;
      created = true;
    }
    target = child;
  }
  *result = NewHandle(registry, target, access);
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (RootIndex(key) >= 0) return ERROR_SUCCESS;
  const auto found = registry.handles.find(reinterpret_cast<uintptr_t>(key));
  if (found == registry.handles.end()) return ERROR_INVALID_HANDLE;
  const DWORD injected = Intercept(registry, HostRegistryOperation::Close, found->second.key->path);
  registry.handles.erase(found);
  return static_cast<LONG>(injected);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::shared_ptr<Key> target;
  LONG code = KeyForOperation(registry, key, HostRegistryOperation::SetValue, KEY_SET_VALUE, target);
  if (code != ERROR_SUCCESS) return code;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  const std::string name = valueName != nullptr ? valueName : "";
  Value& value = target->values[name];
  value.name = name;
  value.type = type;
  value.data.assign(reinterpret_cast<const char*>(data), size);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::shared_ptr<Key> target;
  LONG code = KeyForOperation(registry, key, HostRegistryOperation::QueryValue, KEY_QUERY_VALUE, target);
  if (code != ERROR_SUCCESS) return code;
  const auto found = target->values.find(valueName != nullptr ? valueName : "");
  if (found == target->values.end()) return ERROR_FILE_NOT_FOUND;
  return CopyData(found->second, type, data, size);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::shared_ptr<Key> target;
  LONG code = KeyForOperation(registry, key, HostRegistryOperation::DeleteValue, KEY_SET_VALUE, target);
  if (code != ERROR_SUCCESS) return code;
  const auto found = target->values.find(valueName != nullptr ? valueName : "");
  if (found == target->values.end()) return ERROR_FILE_NOT_FOUND;
  target->values.erase(found);
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> target;
  const LONG code = ExistingSubKey(registry, key, subKey, HostRegistryOperation::DeleteKey, target);
  if (code != ERROR_SUCCESS) return code;
  // A root key cannot be deleted, nor a key that still has subkeys.
  if (target->parent == nullptr || !target->children.empty()) return ERROR_ACCESS_DENIED;
  target->deleted = true;
  Key* parent = target->parent;
  target->parent = nullptr;
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (it->second == target) {
      parent->children.erase(it);
      break;
    }
  }
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR keyClass, LPDWORD classSize,
                   PFILETIME lastWrite) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::shared_ptr<Key> target;
  LONG code = KeyForOperation(registry, key, HostRegistryOperation::EnumKey, KEY_ENUMERATE_SUB_KEYS, target);
  if (code != ERROR_SUCCESS) return code;
  if (index >= target->children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = target->children.begin();
  std::advance(it, index);
  if (keyClass != nullptr && classSize != nullptr && *classSize > 0) keyClass[0] = '\0';
  if (classSize != nullptr) *classSize = 0;
  if (lastWrite != nullptr) *lastWrite = FILETIME{0, 0};
  return CopyName(it->first, name, nameSize);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD dataSize) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::shared_ptr<Key> target;
  LONG code = KeyForOperation(registry, key, HostRegistryOperation::EnumValue, KEY_QUERY_VALUE, target);
  if (code != ERROR_SUCCESS) return code;
  if (index >= target->values.size()) return ERROR_NO_MORE_ITEMS;
  auto it = target->values.begin();
  std::advance(it, index);
  code = CopyName(it->second.name, name, nameSize);
  if (code != ERROR_SUCCESS) return code;
  return CopyData(it->second, type, data, dataSize);
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                      LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptorSize, PFILETIME lastWrite) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::shared_ptr<Key> target;
  LONG code = KeyForOperation(registry, key, HostRegistryOperation::QueryInfo, KEY_QUERY_VALUE, target);
  if (code != ERROR_SUCCESS) return code;
  DWORD longestKey = 0, longestValueName = 0, longestValue = 0;
  for (const auto& child : target->children) {
    if (child.first.size() > longestKey) longestKey = static_cast<DWORD>(child.first.size());
  }
  for (const auto& value : target->values) {
    if (value.second.name.size() > longestValueName) longestValueName = static_cast<DWORD>(value.second.name.size());
    if (value.second.data.size() > longestValue) longestValue = static_cast<DWORD>(value.second.data.size());
  }
  if (keyClass != nullptr && classSize != nullptr && *classSize > 0) keyClass[0] = '\0';
  if (classSize != nullptr) *classSize = 0;
  if (subKeys != nullptr) *subKeys = static_cast<DWORD>(target->children.size());
  if (maxSubKeyLength != nullptr) *maxSubKeyLength = longestKey;
  if (maxClassLength != nullptr) *maxClassLength = 0;
  if (values != nullptr) *values = static_cast<DWORD>(target->values.size());
  if (maxValueNameLength != nullptr) *maxValueNameLength = longestValueName;
  if (maxValueLength != nullptr) *maxValueLength = longestValue;
  if (securityDescriptorSize != nullptr) *securityDescriptorSize = 0;
  if (lastWrite != nullptr) *lastWrite = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

void HostResetRegistry() {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.Reset();
}

int HostOpenRegistryHandles() {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  return static_cast<int>(registry.handles.size());
}

void HostInjectRegistryFailure(const HostRegistryFailure& failure) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.failures.push_back(failure);
}

void HostClearRegistryFailures() {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.failures.clear();
}

int HostRegistryCallCount() {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  return registry.calls;
}

void HostTraceRegistry(bool on) {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.tracing = on;
  registry.trace.clear();
}

std::vector<HostRegistryCall> HostRegistryTrace() {
  auto& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  return registry.trace;
}
