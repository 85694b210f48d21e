// The registration entry points of Pellmora.dll called directly, as a host process calls them:
// on a thread with little stack, and from a folder whose name the ANSI code page cannot hold.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "stack_left.h"

namespace pellmora::testing {
namespace {

const wchar_t* const kEntries[] = {L"CLSID\\{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}",
                                   L"AppID\\{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}",
                                   L"AppID\\Pellmora.DLL",
                                   L"Vantelby.ConStringHelper",
                                   L"Vantelby.ConStringHelper.1",
                                   L"TypeLib\\{0711ED4D-9539-48E2-86EB-7DF50B8DD3F0}"};
constexpr int kEntryCount = sizeof(kEntries) / sizeof(kEntries[0]);
constexpr HRESULT kNoTranslation = static_cast<HRESULT>(0x80070459);

std::wstring WindowsPath(const char* path) {
  std::wstring wide(path, path + std::char_traits<char>::length(path));
  for (auto& unit : wide) {
    if (unit == L'/') unit = L'\\';
  }
  return wide;
}

// The library loaded from `path`, with its two registration entry points.
class Library {
 public:
  explicit Library(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool Loaded() const { return module_ != nullptr; }
  HRESULT Register() const { return Call("DllRegisterServer"); }
  HRESULT Unregister() const { return Call("DllUnregisterServer"); }

 private:
  HRESULT Call(const char* name) const {
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    return entry != nullptr ? entry() : E_UNEXPECTED;
  }
  HMODULE module_;
};

int EntriesPresent() {
  int present = 0;
  for (const wchar_t* entry : kEntries) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, entry, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      ++present;
      RegCloseKey(key);
    }
  }
  return present;
}

void RemoveEntries() {
  for (const wchar_t* entry : kEntries) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, entry);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, entry);
  }
}

std::wstring ServerPath() {
  wchar_t path[MAX_PATH] = {};
  LONG size = sizeof(path);
  RegQueryValueW(HKEY_CLASSES_ROOT, L"CLSID\\{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}\\InprocServer32", path, &size);
  return path;
}

class EntryPoints : public ::testing::Test {
 protected:
  void SetUp() override { RemoveEntries(); }
  void TearDown() override { RemoveEntries(); }
  const std::wstring library_ = WindowsPath(PELLMORA_TEST_LIBRARY);
};

TEST_F(EntryPoints, RegisterAndUnregisterOnA64KiBStack) {
  Library library(library_);
  ASSERT_TRUE(library.Loaded());
  HRESULT registered = E_UNEXPECTED, unregistered = E_UNEXPECTED;
  ASSERT_TRUE(RunWithStackLeft(64 * 1024, [&] { registered = library.Register(); }));
  EXPECT_EQ(S_OK, registered);
  EXPECT_EQ(kEntryCount, EntriesPresent());
  EXPECT_EQ(library_, ServerPath());
  ASSERT_TRUE(RunWithStackLeft(64 * 1024, [&] { unregistered = library.Unregister(); }));
  EXPECT_EQ(S_OK, unregistered);
  EXPECT_EQ(0, EntriesPresent());

  // What each direction really takes, for the record.
  const std::size_t registering = MeasureStackUse([&] { registered = library.Register(); });
  const std::size_t unregistering = MeasureStackUse([&] { unregistered = library.Unregister(); });
  EXPECT_EQ(S_OK, registered);
  EXPECT_EQ(S_OK, unregistered);
  std::printf("stack used: DllRegisterServer %zu bytes, DllUnregisterServer %zu bytes\n", registering, unregistering);
}

TEST_F(EntryPoints, APathOutsideTheAnsiCodePageIsRefusedBeforeAnythingChanges) {
  // THAI CHARACTER KO KAI: in no ANSI code page but the Thai one and UTF-8.
  const wchar_t character[] = L"\u0E01";
  BOOL usedDefault = FALSE;
  char narrow[8];
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, character, -1, narrow, sizeof(narrow), nullptr, &usedDefault);
  if (!usedDefault) GTEST_SKIP() << "the ANSI code page " << GetACP() << " holds the character";

  const std::wstring folder = WindowsPath(PELLMORA_TEST_WORK) + L"\\entry points " + character;
  const std::wstring copy = folder + L"\\Pellmora.dll";
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(library_.c_str(), copy.c_str(), FALSE));
  {
    Library library(copy);
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(kNoTranslation, library.Register());
    EXPECT_EQ(0, EntriesPresent()) << "nothing written";
  }
  // A registration from another folder stays whole when this copy is unregistered.
  {
    Library original(library_);
    ASSERT_EQ(S_OK, original.Register());
  }
  {
    Library library(copy);
    EXPECT_EQ(kNoTranslation, library.Unregister());
    EXPECT_EQ(kEntryCount, EntriesPresent()) << "nothing removed";
  }
  EXPECT_EQ(library_, ServerPath());
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace pellmora::testing
