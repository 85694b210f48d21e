// Finding the type library of a module: embedded in its file, else in the ".tlb" file beside it.
// This test program has a copy of the type library beside it under its own name; the library
// under test is loaded into the process.
#include <windows.h>

#include <gtest/gtest.h>
#include <initguid.h>  // defines the identities of the generated header in this program

#include <string>

#include "automation/pellmora_lib.h"
#include "module/self_registration.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"

namespace pellmora {
namespace {

const char* const kLibrary = PELLMORA_TEST_LIBRARY;

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

// The library identifier the type library names.
GUID LibraryId(ITypeLib* library) {
  TLIBATTR* attributes = nullptr;
  if (FAILED(library->GetLibAttr(&attributes))) return GUID_NULL;
  const GUID id = attributes->guid;
  library->ReleaseTLibAttr(attributes);
  return id;
}

TEST(LoadModuleTypeLibrary, RefusesMissingOutputs) {
  AutomationString path;
  ComPtr<ITypeLib> library;
  EXPECT_EQ(E_POINTER, LoadModuleTypeLibrary(GetModuleHandleW(nullptr), nullptr, library.put()));
  EXPECT_FALSE(library);
  EXPECT_EQ(E_POINTER, LoadModuleTypeLibrary(GetModuleHandleW(nullptr), path.put(), nullptr));
  EXPECT_EQ(nullptr, path.get());
}

TEST(LoadModuleTypeLibrary, ReadsTheLibraryEmbeddedInTheModule) {
  HMODULE module = LoadLibraryA(kLibrary);
  ASSERT_NE(nullptr, module) << kLibrary;
  AutomationString path;
  ComPtr<ITypeLib> library;
  EXPECT_EQ(S_OK, LoadModuleTypeLibrary(module, path.put(), library.put()));
  ASSERT_TRUE(library);
  EXPECT_TRUE(IsEqualGUID(LIBID_PellmoraLib, LibraryId(library.get())));
  EXPECT_EQ(ModulePath(module), std::wstring(path.View()));
  library.reset();
  FreeLibrary(module);
}

TEST(LoadModuleTypeLibrary, FallsBackToTheFileBesideTheModule) {
  // This program embeds no type library; the build put one beside it as <program>.tlb.
  AutomationString path;
  ComPtr<ITypeLib> library;
  EXPECT_EQ(S_OK, LoadModuleTypeLibrary(GetModuleHandleW(nullptr), path.put(), library.put()));
  ASSERT_TRUE(library);
  EXPECT_TRUE(IsEqualGUID(LIBID_PellmoraLib, LibraryId(library.get())));
  std::wstring expected = ModulePath(nullptr);
  expected.replace(expected.rfind(L'.'), std::wstring::npos, L".tlb");
  EXPECT_EQ(expected, std::wstring(path.View()));
}

TEST(LoadModuleTypeLibrary, FailsWhenNeitherIsThere) {
  AutomationString path;
  ComPtr<ITypeLib> library;
  EXPECT_TRUE(FAILED(LoadModuleTypeLibrary(GetModuleHandleW(L"kernel32.dll"), path.put(), library.put())));
  EXPECT_FALSE(library);
  EXPECT_EQ(nullptr, path.get());
}

}  // namespace
}  // namespace pellmora
