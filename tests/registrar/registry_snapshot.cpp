#include "registry_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace pellmora::testing {

namespace {

// An open key closed on every path.
class OpenKey {
 public:
  OpenKey(HKEY root, const std::string& path, REGSAM access) {
    if (RegOpenKeyExA(root, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string Hex(const std::string& data) {
  std::string text;
  char digits[3];
  for (unsigned char byte : data) {
    std::snprintf(digits, sizeof(digits), "%02x", byte);
    text += digits;
  }
  return text;
}

std::string Format(DWORD type, const std::string& data) {
  switch (type) {
    case REG_SZ:
      if (!data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1) {
        return "SZ:" + data.substr(0, data.size() - 1);
      }
      return "SZ!" + data;
    case REG_DWORD:
      if (data.size() == 4) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        const DWORD number = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
        return "DWORD:" + std::to_string(number);
      }
      return "DWORD!" + Hex(data);
    case REG_BINARY:
      return "BIN:" + Hex(data);
    case REG_MULTI_SZ:
      return "MULTI:" + Hex(data);
    default:
      return "TYPE" + std::to_string(type) + ":" + Hex(data);
  }
}

void Collect(HKEY key, const std::string& relative, std::vector<std::string>& lines) {
  lines.push_back(relative);
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameSize = sizeof(name);
    DWORD type = 0;
    std::string data(65536, '\0');
    DWORD dataSize = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    data.resize(dataSize);
    lines.push_back(relative + ": " + (nameSize == 0 ? std::string("@") : std::string(name, nameSize)) + " = " +
                    Format(type, data));
  }
  std::vector<std::string> children;
  for (DWORD index = 0;; ++index) {
    char name[512];
    DWORD nameSize = sizeof(name);
    if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, nameSize);
  }
  for (const auto& child : children) {
    OpenKey sub(key, child, KEY_READ);
    if (sub.get() != nullptr) Collect(sub.get(), relative == "." ? child : relative + "\\" + child, lines);
  }
}

}  // namespace

std::string Snapshot(HKEY root, const std::string& path) {
  OpenKey key(root, path, KEY_READ);
  if (key.get() == nullptr) return "absent";
  std::vector<std::string> lines;
  Collect(key.get(), ".", lines);
  std::sort(lines.begin() + 1, lines.end());
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

bool DeleteTree(HKEY root, const std::string& path) {
  {
    OpenKey key(root, path, KEY_READ | KEY_WRITE);
    if (key.get() == nullptr) return !KeyExists(root, path);
    for (;;) {
      char name[512];
      DWORD nameSize = sizeof(name);
      if (RegEnumKeyExA(key.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (!DeleteTree(key.get(), std::string(name, nameSize))) return false;
    }
  }
  RegDeleteKeyA(root, path.c_str());
  return !KeyExists(root, path);
}

bool KeyExists(HKEY root, const std::string& path) {
  OpenKey key(root, path, KEY_READ);
  return key.get() != nullptr;
}

bool CreateKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::string ValueText(HKEY root, const std::string& path, const char* name) {
  OpenKey key(root, path, KEY_READ);
  if (key.get() == nullptr) return "absent";
  std::string data(65536, '\0');
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS) {
    return "absent";
  }
  data.resize(size);
  return Format(type, data);
}

}  // namespace pellmora::testing
