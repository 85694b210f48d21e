// The two registration scripts of the library, run from module resources through the registrar
// against HKEY_CLASSES_ROOT (under Wine: the real registry of the build's throwaway prefix) and
// checked key by key.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "registrar/registry_key.h"
#include "registrar/script_registrar.h"
#include "registry_snapshot.h"
#include "script_module.h"
#include "stack_left.h"
#include "support/result_codes.h"

#ifndef _WIN32
#include "support/host/host_registry_control.h"
#endif

namespace pellmora::testing {
namespace {

const std::string kClassKey = "CLSID\\{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}";
const std::string kAppIdKey = "AppID\\{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}";
const std::string kModuleKey = "AppID\\Pellmora.DLL";
const std::string kProgId = "Vantelby.ConStringHelper";
const std::string kVersionedProgId = "Vantelby.ConStringHelper.1";
// A module path with an apostrophe: "Module" carries it doubled for the quotes of the script.
const char16_t kModuleQuoted[] = u"C:\\Program Files\\It''s\\Pellmora.dll";
const char kModule[] = "C:\\Program Files\\It's\\Pellmora.dll";
// Where a registration for one user keeps what the scripts name under HKEY_CLASSES_ROOT.
const std::string kUserClasses = "Software\\Classes\\";

class RegistrationScripts : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    HostResetRegistry();
#endif
    module_ = ScriptModulePath();
    RemoveEntries();
    ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"APPID", u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}"));
    ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"Module", kModuleQuoted));
    ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"Module_Raw", u"C:\\Program Files\\It's\\Pellmora.dll"));
  }
  void TearDown() override {
    RemoveEntries();
    RemoveEntries(HKEY_CURRENT_USER, kUserClasses);
#ifndef _WIN32
    EXPECT_EQ(0, HostOpenRegistryHandles());
    EXPECT_EQ(0, HostLoadedModules()) << "the module loaded as data is always released";
#endif
  }
  // The entries below `root`\`under` (`under` empty or ending in a backslash).
  static void RemoveEntries(HKEY root = HKEY_CLASSES_ROOT, const std::string& under = "") {
    for (const auto& key : {kClassKey, kAppIdKey, kModuleKey, kProgId, kVersionedProgId}) {
      ASSERT_TRUE(DeleteTree(root, under + key)) << key;
    }
  }
  HRESULT Register(unsigned script) { return registrar_.RegisterResource(module_.c_str(), script, u"REGISTRY"); }
  HRESULT Unregister(unsigned script) { return registrar_.UnregisterResource(module_.c_str(), script, u"REGISTRY"); }

  static void ExpectRegistered(HKEY root = HKEY_CLASSES_ROOT, const std::string& under = "") {
    EXPECT_EQ(".\n.: @ = SZ:Vantelby.ConStringHelper\n", Snapshot(root, under + kAppIdKey));
    EXPECT_EQ(".\n.: AppID = SZ:{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}\n", Snapshot(root, under + kModuleKey));
    EXPECT_EQ(
        ".\n.: @ = SZ:ConnectionString Class\n"
        "CLSID\nCLSID: @ = SZ:{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}\n",
        Snapshot(root, under + kVersionedProgId));
    EXPECT_EQ(
        ".\n.: @ = SZ:ConnectionString Class\n"
        "CLSID\nCLSID: @ = SZ:{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}\n"
        "CurVer\nCurVer: @ = SZ:Vantelby.ConStringHelper.1\n",
        Snapshot(root, under + kProgId));
    EXPECT_EQ(std::string(".\n.: @ = SZ:ConnectionString Class\n"
                          ".: AppID = SZ:{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}\n"
                          "InprocServer32\nInprocServer32: @ = SZ:") +
                  kModule +
                  "\nInprocServer32: ThreadingModel = SZ:Apartment\n"
                  "ProgID\nProgID: @ = SZ:Vantelby.ConStringHelper.1\n"
                  "Programmable\n"
                  "TypeLib\nTypeLib: @ = SZ:{0711ED4D-9539-48E2-86EB-7DF50B8DD3F0}\n"
                  "VersionIndependentProgID\nVersionIndependentProgID: @ = SZ:Vantelby.ConStringHelper\n",
              Snapshot(root, under + kClassKey));
  }

  static void ExpectEntriesAbsent(HKEY root = HKEY_CLASSES_ROOT, const std::string& under = "") {
    for (const auto& key : {kClassKey, kAppIdKey, kModuleKey, kProgId, kVersionedProgId}) {
      EXPECT_FALSE(KeyExists(root, under + key)) << key;
    }
  }

  static void ExpectUnregistered() {
    ExpectEntriesAbsent();
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "AppID")) << "kept: NoRemove";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID")) << "kept: NoRemove";
  }

  ScriptRegistrar registrar_;
  std::u16string module_;
};

TEST_F(RegistrationScripts, RegisterThenUnregister) {
  ASSERT_EQ(S_OK, Register(kAppIdScript));
  ASSERT_EQ(S_OK, Register(kClassScript));
  ExpectRegistered();
  ASSERT_EQ(S_OK, Unregister(kClassScript));
  ASSERT_EQ(S_OK, Unregister(kAppIdScript));
  ExpectUnregistered();
  // Unregistering again finds nothing and succeeds.
  EXPECT_EQ(S_OK, Unregister(kClassScript));
  EXPECT_EQ(S_OK, Unregister(kAppIdScript));
  ExpectUnregistered();
}

TEST_F(RegistrationScripts, BothScriptsRunBothWaysOnASmallStack) {
  // A thread with a 64 KiB stack, as some hosts give their worker threads.
  HRESULT results[4] = {E_UNEXPECTED, E_UNEXPECTED, E_UNEXPECTED, E_UNEXPECTED};
  ASSERT_TRUE(RunWithStackLeft(64 * 1024, [&] {
    results[0] = Register(kAppIdScript);
    results[1] = Register(kClassScript);
  }));
  EXPECT_EQ(S_OK, results[0]);
  EXPECT_EQ(S_OK, results[1]);
  ExpectRegistered();
  ASSERT_TRUE(RunWithStackLeft(64 * 1024, [&] {
    results[2] = Unregister(kClassScript);
    results[3] = Unregister(kAppIdScript);
  }));
  EXPECT_EQ(S_OK, results[2]);
  EXPECT_EQ(S_OK, results[3]);
  ExpectUnregistered();
#if defined(_WIN32)
  // What each run really takes, for the record.
  const struct {
    const char* name;
    unsigned script;
    bool registering;
  } runs[] = {{"AppID script, registering", kAppIdScript, true},
              {"class script, registering", kClassScript, true},
              {"class script, unregistering", kClassScript, false},
              {"AppID script, unregistering", kAppIdScript, false}};
  for (const auto& run : runs) {
    HRESULT result = E_UNEXPECTED;
    const std::size_t used =
        MeasureStackUse([&] { result = run.registering ? Register(run.script) : Unregister(run.script); });
    EXPECT_EQ(S_OK, result) << run.name;
    std::printf("stack used: %s: %zu bytes\n", run.name, used);
  }
#endif
}

TEST_F(RegistrationScripts, LeftoversOfAnEarlierRegistrationAreReplaced) {
  ASSERT_TRUE(CreateKey(HKEY_CLASSES_ROOT, kClassKey + "\\Programmable\\Extra"));
  ASSERT_TRUE(CreateKey(HKEY_CLASSES_ROOT, kClassKey + "\\Stale\\Deeper"));
  ASSERT_EQ(S_OK, Register(kAppIdScript));
  ASSERT_EQ(S_OK, Register(kClassScript));
  ExpectRegistered();
  // Registering twice changes nothing.
  ASSERT_EQ(S_OK, Register(kAppIdScript));
  ASSERT_EQ(S_OK, Register(kClassScript));
  ExpectRegistered();
}

TEST_F(RegistrationScripts, AMappedClassesRootTakesWhatTheScriptsNameUnderHkcr) {
  RegistryKey classes;
  ASSERT_EQ(ERROR_SUCCESS, classes.Create(HKEY_CURRENT_USER, "Software\\Classes"));
  registrar_.MapClassesRoot(classes.Get());
  ASSERT_EQ(S_OK, Register(kAppIdScript));
  ASSERT_EQ(S_OK, Register(kClassScript));
  ExpectRegistered(HKEY_CURRENT_USER, kUserClasses);
  ExpectEntriesAbsent();
  // A registration of the machine beside it is another set of entries: each direction of one
  // leaves the other alone.
  registrar_.MapClassesRoot(nullptr);
  ASSERT_EQ(S_OK, Register(kAppIdScript));
  ASSERT_EQ(S_OK, Register(kClassScript));
  registrar_.MapClassesRoot(classes.Get());
  ASSERT_EQ(S_OK, Unregister(kClassScript));
  ASSERT_EQ(S_OK, Unregister(kAppIdScript));
  ExpectEntriesAbsent(HKEY_CURRENT_USER, kUserClasses);
  ExpectRegistered();
}

TEST_F(RegistrationScripts, ResourceIdentifiersKeepTheirLow16Bits) {
  ASSERT_EQ(S_OK, registrar_.RegisterResource(module_.c_str(), 0x10000 + kAppIdScript, u"REGISTRY"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kModuleKey));
  ASSERT_EQ(S_OK, registrar_.UnregisterResource(module_.c_str(), 0x30000 + kAppIdScript, u"registry"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kModuleKey));
}

TEST_F(RegistrationScripts, FailuresToReadTheScript) {
  struct Row {
    const char* name;
    std::u16string module;
    unsigned id;
    const char16_t* type;
  };
  const Row rows[] = {
      {"module that does not exist", u"C:\\does not exist\\nothing.dll", kAppIdScript, u"REGISTRY"},
      {"resource that does not exist", module_, 999, u"REGISTRY"},
      {"type that does not exist", module_, kAppIdScript, u"NOSUCHTYPE"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const HRESULT result = registrar_.RegisterResource(row.module.c_str(), row.id, row.type);
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(0x80070000u, static_cast<uint32_t>(result) & 0xFFFF0000u) << "the system error of the failed step";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kModuleKey));
  }
  EXPECT_EQ(E_OUTOFMEMORY, registrar_.RegisterResource(nullptr, kAppIdScript, u"REGISTRY"));
  EXPECT_EQ(E_OUTOFMEMORY, registrar_.RegisterResource(module_.c_str(), kAppIdScript, nullptr));
}

TEST_F(RegistrationScripts, ARegistrationWithoutItsReplacementsWritesNothing) {
  ASSERT_EQ(S_OK, registrar_.RemoveAllReplacements());
  EXPECT_EQ(DISP_E_EXCEPTION, Register(kClassScript));
  EXPECT_EQ(DISP_E_EXCEPTION, Register(kAppIdScript));
  ExpectEntriesAbsent();
}

}  // namespace
}  // namespace pellmora::testing
