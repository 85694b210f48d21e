// Scripts read from module resources on the host: copied with a terminator, cut at a NUL, and the
// module always released.
#include <gtest/gtest.h>

#include <string>

#include "registrar/script_registrar.h"
#include "registry_snapshot.h"
#include "support/host/host_registry_control.h"

namespace pellmora::testing {
namespace {

const char kModule[] = "C:\\Modules\\Scripts.dll";
const char16_t kModuleWide[] = u"C:\\Modules\\Scripts.dll";

class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    HostResetRegistry();
    HostResetResources();
  }
  void TearDown() override {
    EXPECT_EQ(0, HostLoadedModules());
    EXPECT_EQ(0, HostOpenRegistryHandles());
    HostResetResources();
    HostResetRegistry();
  }
};

TEST_F(Resources, TheScriptIsTheResourceTextUpToItsFirstNul) {
  struct Row {
    const char* name;
    std::string bytes;
    HRESULT expected;
    bool created;
  };
  const std::string script = "HKCU\r\n{\r\n\tPellmoraResource\r\n}";
  const Row rows[] = {
      {"plain text", script, S_OK, true},
      {"text after a NUL is not read", script + std::string("\0 garbage {", 11), S_OK, true},
      {"a NUL inside the root block cuts it short", std::string("HKCU\r\n{\0}", 9), DISP_E_EXCEPTION, false},
      {"empty resource", "", S_OK, false},
      {"longer than the buffer inside the frame", script + std::string(3000, ' '), S_OK, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HostResetRegistry();
    HostDefineResource(kModule, "REGISTRY", 7, row.bytes);
    ScriptRegistrar registrar;
    EXPECT_EQ(row.expected, registrar.RegisterResource(kModuleWide, 7, u"REGISTRY"));
    EXPECT_EQ(row.created, KeyExists(HKEY_CURRENT_USER, "PellmoraResource"));
  }
}

TEST_F(Resources, RunResourceTakesANamedOrNumberedResource) {
  HostDefineResource(kModule, "REGISTRY", 9, "HKCU\r\n{\r\n\tNumbered\r\n}");
  ScriptRegistrar registrar;
  EXPECT_EQ(S_OK, registrar.RunResource(kModuleWide, MAKEINTRESOURCEA(9), "registry", true));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Numbered"));
  EXPECT_EQ(S_OK, registrar.RunResource(kModuleWide, MAKEINTRESOURCEA(9), "REGISTRY", false));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Numbered"));
  EXPECT_EQ(static_cast<HRESULT>(0x80070716), registrar.RunResource(kModuleWide, "NAMED", "REGISTRY", true))
      << "ERROR_RESOURCE_NAME_NOT_FOUND";
  EXPECT_EQ(static_cast<HRESULT>(0x8007007E),
            registrar.RunResource(u"C:\\none.dll", MAKEINTRESOURCEA(9), "REGISTRY", true))
      << "ERROR_MOD_NOT_FOUND";
}

}  // namespace
}  // namespace pellmora::testing
