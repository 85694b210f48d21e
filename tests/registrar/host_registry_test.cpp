// The host registry answers as the engine relies on: the codes, case-insensitive names,
// enumeration, byte-exact values, access checks, handle counting and failure injection.
#include <gtest/gtest.h>

#include <string>

#include "registry_snapshot.h"
#include "support/host/host_registry_control.h"
#include "support/platform.h"

namespace pellmora::testing {
namespace {

class HostRegistry : public ::testing::Test {
 protected:
  void SetUp() override { HostResetRegistry(); }
  void TearDown() override { HostResetRegistry(); }
  static HKEY Open(const char* path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, access, &key)) << path;
    return key;
  }
};

TEST_F(HostRegistry, KeysAndTheirCodes) {
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, "Software\\Zeta"));
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, "SOFTWARE\\alpha\\Deep"));
  HKEY key = nullptr;
  EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Beta", 0, KEY_READ, &key));
  EXPECT_EQ(nullptr, key);
  EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND), RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software", 0, KEY_READ, &key))
      << "each root is its own tree";
  EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED), RegDeleteKeyA(HKEY_CURRENT_USER, "software\\ALPHA"))
      << "a key with subkeys is not deleted";
  EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND), RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Beta"));

  key = Open("software", KEY_READ);
  char name[256];
  DWORD size = sizeof(name);
  ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("alpha", name) << "in name order, spelled as created";
  EXPECT_EQ(5u, size);
  size = 3;
  EXPECT_EQ(static_cast<LONG>(ERROR_MORE_DATA), RegEnumKeyExA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
  size = sizeof(name);
  EXPECT_EQ(static_cast<LONG>(ERROR_NO_MORE_ITEMS),
            RegEnumKeyExA(key, 2, name, &size, nullptr, nullptr, nullptr, nullptr));
  DWORD subKeys = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(2u, subKeys);
  EXPECT_EQ(1, HostOpenRegistryHandles());
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(0, HostOpenRegistryHandles());
  EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegCloseKey(key));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER)) << "a root key is never closed";
}

TEST_F(HostRegistry, ValuesAreStoredByteExactWithTheirType) {
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, "K"));
  HKEY key = Open("K", KEY_READ | KEY_WRITE);
  const BYTE bytes[] = {0, 1, 0xFF};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Bin", 0, REG_BINARY, bytes, 3));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2));
  EXPECT_EQ("BIN:0001ff", ValueText(HKEY_CURRENT_USER, "K", "bin"));
  EXPECT_EQ("SZ:d", ValueText(HKEY_CURRENT_USER, "K", ""));
  EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND), RegDeleteValueA(key, "Missing"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "BIN"));
  EXPECT_EQ("absent", ValueText(HKEY_CURRENT_USER, "K", "Bin"));
  RegCloseKey(key);

  key = Open("K", KEY_READ);
  EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED), RegSetValueExA(key, "x", 0, REG_BINARY, bytes, 1))
      << "a read-only handle cannot write";
  HKEY created = nullptr;
  EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED),
            RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr));
  RegCloseKey(key);

  key = Open("K", KEY_READ);
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "K"));
  EXPECT_EQ(static_cast<LONG>(ERROR_KEY_DELETED), RegSetValueExA(key, "x", 0, REG_BINARY, bytes, 1));
  RegCloseKey(key);
}

TEST_F(HostRegistry, InjectedFailuresHitTheChosenOperationAndKey) {
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, "A\\B"));
  HostInjectRegistryFailure({HostRegistryOperation::Open, "hkey_current_user\\a\\b", 1117, 1, 2});
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key)) << "another key";
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &key)) << "skipped";
  RegCloseKey(key);
  EXPECT_EQ(1117, RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &key));
  EXPECT_EQ(1117, RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &key)) << "used up";
  HostInjectRegistryFailure({HostRegistryOperation::Close, "", 6, 0, 1});
  EXPECT_EQ(6, RegCloseKey(key));
  EXPECT_EQ(0, HostOpenRegistryHandles()) << "an injected close still releases the handle";
}

}  // namespace
}  // namespace pellmora::testing
