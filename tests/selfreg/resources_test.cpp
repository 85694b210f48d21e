// The resources of the built library, read back through the platform's resource and version
// services: the registration scripts byte for byte, the project name, the version information,
// and the language of every resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Set by the build: the library under test and the script files it must embed.
const char* const kLibrary = PELLMORA_TEST_LIBRARY;
const char* const kAppIdScript = PELLMORA_TEST_APPID_SCRIPT;
const char* const kClassScript = PELLMORA_TEST_CLASS_SCRIPT;

constexpr WORD kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

struct LibraryFree {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using LibraryHolder = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

std::string ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class LibraryResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(LoadLibraryExA(kLibrary, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module_) << kLibrary << ": error " << GetLastError();
  }

  // The bytes of a resource in Chinese (Simplified); empty with a test failure when it is absent.
  std::string Resource(LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceExA(module_.get(), type, name, kChineseSimplified);
    if (!found) {
      ADD_FAILURE() << "resource not found, error " << GetLastError();
      return {};
    }
    HGLOBAL loaded = LoadResource(module_.get(), found);
    return {static_cast<const char*>(LockResource(loaded)), SizeofResource(module_.get(), found)};
  }

  LibraryHolder module_;
};

TEST_F(LibraryResources, EmbedsTheRegistrationScriptsByteForByte) {
  struct Row {
    int id;
    const char* file;
  };
  for (const Row& row : {Row{101, kAppIdScript}, Row{102, kClassScript}}) {
    const std::string expected = ReadFile(row.file);
    ASSERT_FALSE(expected.empty()) << row.file;
    EXPECT_EQ(expected, Resource("REGISTRY", MAKEINTRESOURCEA(row.id))) << "REGISTRY " << row.id;
  }
}

TEST_F(LibraryResources, TheScriptsUseCrLfLineEndsAndNoTerminator) {
  for (int id : {101, 102}) {
    const std::string script = Resource("REGISTRY", MAKEINTRESOURCEA(id));
    ASSERT_FALSE(script.empty());
    EXPECT_EQ(std::string::npos, script.find('\0')) << id;
    EXPECT_EQ('}', script.back()) << id;
    for (std::size_t at = script.find('\n'); at != std::string::npos; at = script.find('\n', at + 1)) {
      ASSERT_GT(at, 0u);
      EXPECT_EQ('\r', script[at - 1]) << "REGISTRY " << id << ", offset " << at;
    }
  }
}

TEST_F(LibraryResources, CarriesTheProjectName) {
  // String 100 sits in block 100 / 16 + 1 = 7, at index 100 % 16 = 4: each entry is a length in
  // UTF-16 units followed by that many units.
  const std::string block = Resource(RT_STRING, MAKEINTRESOURCEA(7));
  const auto* units = reinterpret_cast<const WCHAR*>(block.data());
  const std::size_t count = block.size() / sizeof(WCHAR);
  std::size_t at = 0;
  for (int index = 0; index < 4 && at < count; ++index) at += 1 + units[at];
  ASSERT_LT(at, count);
  EXPECT_EQ(std::wstring(L"Pellmora"), std::wstring(units + at + 1, units[at]));

  char text[64] = {};
  EXPECT_EQ(8, LoadStringA(module_.get(), 100, text, sizeof text));
  EXPECT_STREQ("Pellmora", text);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

struct NamedResource {
  std::string type;
  std::string name;
  std::vector<WORD> languages;
};

std::string ResourceName(LPCSTR name) {
  return IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name;
}

BOOL CALLBACK CollectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR list) {
  NamedResource entry{ResourceName(type), ResourceName(name), {}};
  EnumResourceLanguagesA(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&entry.languages));
  reinterpret_cast<std::vector<NamedResource>*>(list)->push_back(entry);
  return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPSTR type, LONG_PTR list) {
  EnumResourceNamesA(module, type, CollectName, list);
  return TRUE;
}

TEST_F(LibraryResources, HoldsExactlyItsResourcesAllInChineseSimplified) {
  std::vector<NamedResource> found;
  EnumResourceTypesA(module_.get(), CollectType, reinterpret_cast<LONG_PTR>(&found));
  std::vector<std::string> names;
  for (const NamedResource& entry : found) {
    names.push_back(entry.type + " " + entry.name);
    EXPECT_EQ(std::vector<WORD>{kChineseSimplified}, entry.languages) << entry.type << " " << entry.name;
  }
  // RT_STRING is #6 (block 7 holds string 100), RT_VERSION #16.
  const std::vector<std::string> expected = {"#16 #1", "#6 #7", "REGISTRY #101", "REGISTRY #102", "TYPELIB #1"};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(expected, names);
}

class VersionInformation : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(kLibrary, &ignored);
    ASSERT_NE(0u, size) << "error " << GetLastError();
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoA(kLibrary, 0, size, data_.data()));
  }

  const void* Query(const char* path, UINT* length) {
    void* value = nullptr;
    if (!VerQueryValueA(data_.data(), path, &value, length)) return nullptr;
    return value;
  }

  std::vector<char> data_;
};

TEST_F(VersionInformation, FixedPartNamesA32BitDll) {
  UINT length = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Query("\\", &length));
  ASSERT_NE(nullptr, fixed);
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  // The build's version, 1.0.0.1 for this release: 0x00010000 and 0x00000001.
  EXPECT_EQ(PELLMORA_TEST_VERSION_HIGH, fixed->dwFileVersionMS);
  EXPECT_EQ(PELLMORA_TEST_VERSION_LOW, fixed->dwFileVersionLS);
  EXPECT_EQ(PELLMORA_TEST_VERSION_HIGH, fixed->dwProductVersionMS);
  EXPECT_EQ(PELLMORA_TEST_VERSION_LOW, fixed->dwProductVersionLS);
  EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
  EXPECT_EQ(0u, fixed->dwFileFlags);
  EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  EXPECT_EQ(0u, fixed->dwFileSubtype);
}

TEST_F(VersionInformation, StringsAndTranslationAreChineseSimplifiedInCodePage936) {
  struct Row {
    const char* name;
    const char* value;
  };
  const Row rows[] = {
      {"FileVersion", PELLMORA_TEST_VERSION},
      {"ProductVersion", PELLMORA_TEST_VERSION},
      {"InternalName", "Pellmora.dll"},
      {"OriginalFilename", "Pellmora.dll"},
  };
  for (const Row& row : rows) {
    const std::string path = std::string("\\StringFileInfo\\080403a8\\") + row.name;
    UINT length = 0;
    const auto* value = static_cast<const char*>(Query(path.c_str(), &length));
    ASSERT_NE(nullptr, value) << row.name;
    EXPECT_STREQ(row.value, value) << row.name;
  }

  UINT length = 0;
  const auto* translation = static_cast<const WORD*>(Query("\\VarFileInfo\\Translation", &length));
  ASSERT_NE(nullptr, translation);
  ASSERT_EQ(2 * sizeof(WORD), length);
  EXPECT_EQ(0x0804, translation[0]);
  EXPECT_EQ(936, translation[1]);
}

}  // namespace
