#include "script_fixture.h"

#ifndef _WIN32
#include "support/host/host_registry_control.h"
#endif

namespace pellmora::testing {

void ScriptTest::SetUp() {
#ifndef _WIN32
  HostResetRegistry();
#endif
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  name_ = std::string(info->test_suite_name()) + "." + info->name();
  ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, KeyPath()));
  ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"APPID", u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}"));
}

void ScriptTest::TearDown() {
#ifndef _WIN32
  EXPECT_EQ(0, HostOpenRegistryHandles()) << "a registry handle was left open";
  HostClearRegistryFailures();
#endif
  EXPECT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\PellmoraTests");  // only goes once no test key is left
}

std::string ScriptTest::Wrap(const std::string& body) const {
  return "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove PellmoraTests\r\n\t\t{\r\n\t\t\tNoRemove '" + name_ +
         "'\r\n\t\t\t{\r\n" + body + "\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n";
}

HRESULT ScriptTest::RunText(const std::string& text, bool doRegister) {
  ScriptParser parser(registrar_);
  return parser.RunScript(text.c_str(), doRegister);
}

}  // namespace pellmora::testing
