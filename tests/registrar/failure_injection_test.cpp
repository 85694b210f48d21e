// Registry failures injected into the host registry: every single failure during a registration
// leaves either the complete registration or what the roll-back leaves, and never an open handle.
#include <functional>
#include <string>
#include <vector>

#include "script_fixture.h"
#include "script_module.h"
#include "support/host/host_control.h"
#include "support/host/host_registry_control.h"
#include "support/result_codes.h"

namespace pellmora::testing {
namespace {

constexpr DWORD kInjected = 1117;  // ERROR_IO_DEVICE: a code nothing else produces
constexpr HRESULT kInjectedResult = ResultFromWin32(kInjected);

// The lines of a snapshot of HKEY_CLASSES_ROOT that are not NoRemove keys of the scripts.
std::vector<std::string> Leftovers() {
  std::vector<std::string> lines;
  std::string snapshot = Snapshot(HKEY_CLASSES_ROOT, "");
  size_t start = 0;
  while (start < snapshot.size()) {
    const size_t end = snapshot.find('\n', start);
    const std::string line = snapshot.substr(start, end - start);
    if (line != "." && line != "AppID" && line != "CLSID") lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Runs `run` after `prepare` once per registry call it makes when nothing fails, failing that one
// call each time, and hands each result to `check`; some of the runs must fail, and none may leave
// a handle open.
void SweepRegistryFailures(const std::function<void()>& prepare, const std::function<HRESULT()>& run,
                           const std::function<void(HRESULT)>& check) {
  prepare();
  const int before = HostRegistryCallCount();
  ASSERT_EQ(S_OK, run());
  const int calls = HostRegistryCallCount() - before;
  int failures = 0;
  for (int call = 0; call < calls; ++call) {
    SCOPED_TRACE("failing registry call " + std::to_string(call));
    prepare();
    HostInjectRegistryFailure({HostRegistryOperation::Any, "", kInjected, call, 1});
    const HRESULT result = run();
    HostClearRegistryFailures();
    EXPECT_EQ(0, HostOpenRegistryHandles());
    failures += FAILED(result) ? 1 : 0;
    check(result);
  }
  EXPECT_GT(failures, 0);
}

class InjectedFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    HostResetRegistry();
    module_ = ScriptModulePath();
    ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"APPID", u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}"));
    ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"Module", u"C:\\Pellmora.dll"));
  }
  void TearDown() override { HostResetRegistry(); }

  HRESULT Register(unsigned script) { return registrar_.RegisterResource(module_.c_str(), script, u"REGISTRY"); }

  // Registers `script` with each of its registry calls failing in turn, starting each time from an
  // empty registry or from an earlier registration of it.
  void SweepRegistration(unsigned script, bool preregistered) {
    auto prepare = [&] {
      HostResetRegistry();
      if (preregistered) {
        ASSERT_EQ(S_OK, Register(script));
      }
    };
    prepare();
    ASSERT_EQ(S_OK, Register(script));
    const std::string registered = Snapshot(HKEY_CLASSES_ROOT, "");
    SweepRegistryFailures(
        prepare, [&] { return Register(script); },
        [&](HRESULT result) {
          EXPECT_EQ(0, HostLoadedModules());
          if (result == S_OK) {
            // The failure hit a step with a fallback or one whose failure is ignored.
            EXPECT_EQ(registered, Snapshot(HKEY_CLASSES_ROOT, ""));
          } else {
            // The injected code, or the refusal to write through the read-only handle that a
            // refused writable open falls back to.
            EXPECT_TRUE(result == kInjectedResult || result == ResultFromWin32(ERROR_ACCESS_DENIED))
                << std::hex << result;
            EXPECT_EQ(std::vector<std::string>{}, Leftovers()) << "the roll-back leaves only NoRemove keys";
          }
        });
  }

  ScriptRegistrar registrar_;
  std::u16string module_;
};

TEST_F(InjectedFailure, ClassScriptOnAnEmptyRegistry) { SweepRegistration(kClassScript, false); }
TEST_F(InjectedFailure, ClassScriptOverAnEarlierRegistration) { SweepRegistration(kClassScript, true); }
TEST_F(InjectedFailure, AppIdScriptOnAnEmptyRegistry) { SweepRegistration(kAppIdScript, false); }
TEST_F(InjectedFailure, AppIdScriptOverAnEarlierRegistration) { SweepRegistration(kAppIdScript, true); }

// Failures of single operations on chosen keys, in scripts of the test's own key.
class InjectedWalkFailure : public ScriptTest {
 protected:
  void Fail(HostRegistryOperation operation, const std::string& relative, DWORD code) {
    HostInjectRegistryFailure(
        {operation, "HKEY_CURRENT_USER\\" + KeyPath() + (relative.empty() ? "" : "\\" + relative), code, 0, -1});
  }
};

TEST_F(InjectedWalkFailure, RollBackLeavesKeysBesideTheScriptsAlone) {
  // Every single registry failure during the registration of a script whose text reads
  // differently when unregistering ("{x}" after a key without a block), next to keys the script
  // names only elsewhere: afterwards the test key holds what it held, plus the NoRemove key.
  const std::string script =
      "NoRemove Software\n{\n\tA = s x\n\t{x}\n\tNoRemove Keep\n\t{\n\t\tval V = d 1\n\t}\n}\nImportant\n{\n\tChild\n}";
  const std::vector<std::string> siblings = {"Child", "Software\\Important", "Software\\Child",
                                             "Software\\Keep\\Child"};
  auto prepare = [&] {
    ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
    for (const auto& key : siblings) Create(key);
  };
  prepare();
  const std::string start = State();
  SweepRegistryFailures(
      prepare, [&] { return Register(script); },
      [&](HRESULT result) {
        if (FAILED(result)) {
          EXPECT_EQ(start, State());
        }
      });
}

TEST_F(InjectedWalkFailure, UnregisteringAKeyThatCannotBeOpened) {
  ASSERT_EQ(S_OK, Register("A\nB\n{\n\tC\n}\nD"));
  Fail(HostRegistryOperation::Open, "B", ERROR_ACCESS_DENIED);
  // B's block is read through without touching C, then B's failure ends the walk: D stays.
  EXPECT_EQ(ResultFromWin32(ERROR_ACCESS_DENIED), Unregister("A\nB\n{\n\tC\n}\nD"));
  HostClearRegistryFailures();
  EXPECT_EQ(".\nB\nB\\C\nD\n", State());
}

TEST_F(InjectedWalkFailure, UnregisteringFailuresAreReported) {
  struct Row {
    const char* name;
    HostRegistryOperation operation;
    const char* key;
    DWORD code;
    const char* state;
  };
  const Row rows[] = {
      {"reopening for a value deletion", HostRegistryOperation::Open, "A", ERROR_ACCESS_DENIED, ".\nA\nA: V = SZ:v\n"},
      {"deleting a value", HostRegistryOperation::DeleteValue, "A", ERROR_ACCESS_DENIED, ".\nA\nA: V = SZ:v\n"},
      {"a value already gone is no failure", HostRegistryOperation::DeleteValue, "A", ERROR_FILE_NOT_FOUND, ".\n"},
      {"closing the key before its deletion", HostRegistryOperation::Close, "A", ERROR_INVALID_HANDLE, ".\nA\n"},
      {"deleting the key", HostRegistryOperation::DeleteKey, "A", kInjected, ".\nA\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HostClearRegistryFailures();
    ASSERT_EQ(S_OK, Register("A\n{\n\tval V = s v\n}"));
    // The first open of A (to walk its block) passes; the reopen for the value fails.
    HostInjectRegistryFailure({row.operation, "HKEY_CURRENT_USER\\" + KeyPath() + "\\" + row.key, row.code,
                               row.operation == HostRegistryOperation::Open ? 1 : 0, -1});
    const HRESULT expected = row.code == ERROR_FILE_NOT_FOUND ? S_OK : ResultFromWin32(row.code);
    EXPECT_EQ(expected, Unregister("A\n{\n\tval V = s v\n}"));
    HostClearRegistryFailures();
    EXPECT_EQ(row.state, State());
    ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath() + "\\A"));
    EXPECT_EQ(0, HostOpenRegistryHandles());
  }
}

TEST_F(InjectedWalkFailure, RegisteringFallsBackToReadOnlyThenToCreation) {
  // Writable open refused: the key is opened read-only, so its default value cannot be written.
  ASSERT_EQ(S_OK, Register("A"));
  HostInjectRegistryFailure(
      {HostRegistryOperation::Open, "HKEY_CURRENT_USER\\" + KeyPath() + "\\A", ERROR_ACCESS_DENIED, 0, 1});
  EXPECT_EQ(ResultFromWin32(ERROR_ACCESS_DENIED), Register("A = s 'x'"));
  HostClearRegistryFailures();
  EXPECT_EQ(".\n", State()) << "rolled back";
  // A creation that fails ends the registration with its code.
  Fail(HostRegistryOperation::Create, "B", kInjected);
  EXPECT_EQ(kInjectedResult, Register("A\nB"));
  EXPECT_EQ(".\n", State());
}

TEST_F(InjectedWalkFailure, AFailedForcedRemovalIsNoError) {
  Create("A\\Old");
  Fail(HostRegistryOperation::DeleteKey, "A\\Old", kInjected);
  EXPECT_EQ(S_OK, Register("ForceRemove A = s 'x'"));
  EXPECT_EQ(".\nA\nA: @ = SZ:x\nA\\Old\n", State());
}

TEST_F(InjectedWalkFailure, AMemoryShortageFailsThePass) {
  struct Row {
    const char* name;
    int taskSuccesses;
    int heapSuccesses;
  };
  const std::u16string longValue(3000, u'v');
  ASSERT_EQ(S_OK, registrar_.DefineReplacement(u"Long", longValue.c_str()));
  const Row rows[] = {{"allocating the buffer", 0, -1}, {"growing the buffer", 1, -1}, {"converting the value", -1, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // A failure left on the thread by an earlier call is not this one's.
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    HostFailTaskMemoryAfter(row.taskSuccesses);
    HostFailHeapAfter(row.heapSuccesses);
    EXPECT_EQ(E_OUTOFMEMORY, Register("A = s '%Long%'"));
    HostFailTaskMemoryAfter(-1);
    HostFailHeapAfter(-1);
    EXPECT_EQ(0, HostTaskMemoryBlocks());
    EXPECT_EQ(".\n", State());
  }
}

}  // namespace
}  // namespace pellmora::testing
