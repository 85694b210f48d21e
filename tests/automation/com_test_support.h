// Shared helpers of the tests that drive Pellmora.dll through the real component runtime under
// Wine: where the DLL is, registering its class and type library by hand for one test program
// (and removing them again), the entry points of a loaded copy, and reference-count checks.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "automation/pellmora_lib.h"
#include "support/automation_string.h"
#include "support/com_ptr.h"
#include "support/platform.h"
#include "test_registration.h"

namespace pellmora::testing {

// The current reference count of `object`, read by an AddRef/Release pair.
ULONG ReferenceCount(IUnknown* object);

// Text of an automation string, for comparisons; the null string reads as empty.
std::wstring Text(BSTR value);

// The exported entry points of a copy of the DLL loaded with LoadLibrary.
struct EntryPoints {
  HRESULT(STDAPICALLTYPE* DllCanUnloadNow)() = nullptr;
  HRESULT(STDAPICALLTYPE* DllGetClassObject)(const CLSID*, const IID*, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* DllRegisterServer)() = nullptr;
  HRESULT(STDAPICALLTYPE* DllUnregisterServer)() = nullptr;
};
EntryPoints EntryPointsOf(HMODULE module);

// The module handle of the DLL if it is loaded in this process, else null.
HMODULE LoadedDll();

// For the whole test program: an initialised single-threaded apartment and the class registered
// by hand (removed again at the end).
class ComEnvironment : public ::testing::Environment {
 public:
  explicit ComEnvironment(bool registerClass) : registerClass_(registerClass) {}
  void SetUp() override;
  void TearDown() override;

 private:
  bool registerClass_;
};

}  // namespace pellmora::testing

// Checks the reference count of `object` at the caller's line.
#define EXPECT_REFCOUNT(object, expected) \
  EXPECT_EQ(::pellmora::testing::ReferenceCount(object), static_cast<ULONG>(expected)) << "reference count " \
                                                                                          "of " #object
