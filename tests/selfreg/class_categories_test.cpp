// Component categories of a class through the system's categories manager, against the Wine
// prefix's registry: what registering writes, and that unregistering removes the category keys it
// leaves empty but keeps one that still holds another category.
#include <windows.h>

#include <comcat.h>
#include <gtest/gtest.h>

#include <string>

#include "module/class_table.h"
#include "module/self_registration.h"

namespace pellmora {
namespace {

// Identities made up for this test only.
const CLSID kClass = {0x6d1c2a47, 0x93b5, 0x4f0e, {0x8a, 0x61, 0x2f, 0x4c, 0x0b, 0x7e, 0x55, 0x19}};
const GUID kImplemented = {0x6d1c2a48, 0x93b5, 0x4f0e, {0x8a, 0x61, 0x2f, 0x4c, 0x0b, 0x7e, 0x55, 0x19}};
const GUID kRequired = {0x6d1c2a49, 0x93b5, 0x4f0e, {0x8a, 0x61, 0x2f, 0x4c, 0x0b, 0x7e, 0x55, 0x19}};
const GUID kForeign = {0x6d1c2a4a, 0x93b5, 0x4f0e, {0x8a, 0x61, 0x2f, 0x4c, 0x0b, 0x7e, 0x55, 0x19}};
const char kClassKey[] = "CLSID\\{6D1C2A47-93B5-4F0E-8A61-2F4C0B7E5519}";
const char kImplementedKey[] = "CLSID\\{6D1C2A47-93B5-4F0E-8A61-2F4C0B7E5519}\\Implemented Categories";
const char kRequiredKey[] = "CLSID\\{6D1C2A47-93B5-4F0E-8A61-2F4C0B7E5519}\\Required Categories";

const ClassCategory kCategories[] = {{1, &kImplemented}, {2, &kRequired}, {0, nullptr}};

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class ClassCategories : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegCloseKey(key);
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
    CoUninitialize();
  }
};

TEST_F(ClassCategories, NoListOrNoClassDoesNothing) {
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, nullptr, true));
  EXPECT_EQ(S_OK, UpdateClassCategories(GUID_NULL, kCategories, true));
  EXPECT_FALSE(KeyExists(kImplementedKey));
  EXPECT_FALSE(KeyExists(kRequiredKey));
}

TEST_F(ClassCategories, RegistersEachKindAndRemovesTheKeysItLeavesEmpty) {
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kCategories, true));
  EXPECT_TRUE(KeyExists(std::string(kImplementedKey) + "\\{6D1C2A48-93B5-4F0E-8A61-2F4C0B7E5519}"));
  EXPECT_TRUE(KeyExists(std::string(kRequiredKey) + "\\{6D1C2A49-93B5-4F0E-8A61-2F4C0B7E5519}"));

  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kCategories, false));
  EXPECT_FALSE(KeyExists(kImplementedKey));
  EXPECT_FALSE(KeyExists(kRequiredKey));
  EXPECT_TRUE(KeyExists(kClassKey));
}

TEST_F(ClassCategories, KeepsACategoryKeyThatStillHoldsAnotherCategory) {
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kCategories, true));
  const ClassCategory foreign[] = {{1, &kForeign}, {0, nullptr}};
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, foreign, true));

  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kCategories, false));
  EXPECT_TRUE(KeyExists(std::string(kImplementedKey) + "\\{6D1C2A4A-93B5-4F0E-8A61-2F4C0B7E5519}"));
  EXPECT_FALSE(KeyExists(std::string(kImplementedKey) + "\\{6D1C2A48-93B5-4F0E-8A61-2F4C0B7E5519}"));
  EXPECT_FALSE(KeyExists(kRequiredKey));
}

TEST_F(ClassCategories, WithoutTheComponentRuntimeNothingIsRecorded) {
  CoUninitialize();  // the manager cannot be created on a thread without the runtime
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, kCategories, true));
  EXPECT_FALSE(KeyExists(kImplementedKey));
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
}

}  // namespace
}  // namespace pellmora
