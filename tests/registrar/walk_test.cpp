// The walk against a registry: the host registry natively, the real one under Wine. Each case
// runs inside its own key below HKEY_CURRENT_USER\Software\PellmoraTests.
#include <algorithm>
#include <string>
#include <vector>

#include "script_fixture.h"
#include "registrar/script_tables.h"
#include "stack_left.h"
#include "support/result_codes.h"

namespace pellmora::testing {
namespace {

constexpr HRESULT kDeleteRefused = ResultFromWin32(ERROR_ACCESS_DENIED);  // a key with subkeys

// The snapshot text of a key holding `lines` (the key itself, ".", is added).
std::string Expect(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text = ".\n";
  for (const auto& line : lines) text += line + "\n";
  return text;
}

struct WalkCase {
  const char* name;
  const char* setup;               // registered first when not null
  std::vector<std::string> extra;  // keys created after the setup
  const char* body;
  bool doRegister;
  HRESULT expected;
  std::vector<std::string> state;  // the test key's content afterwards
};

class WalkTest : public ScriptTest {
 protected:
  void RunCases(const std::vector<WalkCase>& cases) {
    for (const auto& row : cases) {
      SCOPED_TRACE(row.name);
      ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
      ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, KeyPath()));
      if (row.setup != nullptr) {
        ASSERT_EQ(S_OK, Register(row.setup));
      }
      for (const auto& key : row.extra) Create(key);
      EXPECT_EQ(row.expected, row.doRegister ? Register(row.body) : Unregister(row.body));
      EXPECT_EQ(Expect(row.state), State());
    }
  }
};

TEST_F(WalkTest, RegisteringWritesKeysAndValues) {
  RunCases({
      {"key with default value", nullptr, {}, "A = s 'x'", true, S_OK, {"A", "A: @ = SZ:x"}},
      {"nested blocks and named values",
       nullptr,
       {},
       "A\n{\n\tB = s 'b'\n\t{\n\t\tval V = s 'v'\n\t}\n\tval W = d 7\n}",
       true,
       S_OK,
       {"A", "A: W = DWORD:7", "A\\B", "A\\B: @ = SZ:b", "A\\B: V = SZ:v"}},
      {"a value entry in a block writes to the block's key", nullptr, {}, "val N = s 'n'", true, S_OK, {".: N = SZ:n"}},
      {"name, equals sign and letter without blanks are one key", nullptr, {}, "a=s 'x'", true, S_OK, {"a=s", "x"}},
      {"quoted name directly followed by an equals sign", nullptr, {}, "'A'= s 'x'", true, S_OK, {"A", "A: @ = SZ:x"}},
      {"quoting keeps blanks, braces and doubled apostrophes",
       nullptr,
       {},
       "'it''s { x }' = s 'a''b'",
       true,
       S_OK,
       {"it's { x }", "it's { x }: @ = SZ:a'b"}},
      {"a quoted value may span lines", nullptr, {}, "A = s 'one\r\n two'", true, S_OK, {"A", "A: @ = SZ:one\r\n two"}},
      {"empty quoted value", nullptr, {}, "A = s ''", true, S_OK, {"A", "A: @ = SZ:"}},
      {"letters in any case",
       nullptr,
       {},
       "val a = S x\nval b = D 1\nval c = B 01\nval d = M x",
       true,
       S_OK,
       {".: a = SZ:x", ".: b = DWORD:1", ".: c = BIN:01", ".: d = MULTI:780000"}},
      {"a braced name as the first entry of a block", nullptr, {}, "A\n{\n\t{K}\n}", true, S_OK, {"A", "A\\{K}"}},
      {"a braced name after a value entry",
       nullptr,
       {},
       "A\n{\n\tval V = s v\n\t{K}\n}",
       true,
       S_OK,
       {"A", "A: V = SZ:v", "A\\{K}"}},
      {"an existing key keeps what the script does not name",
       "A = s 'old'\n{\n\tval Keep = s k\n\tSub\n}",
       {},
       "A = s 'new'",
       true,
       S_OK,
       {"A", "A: @ = SZ:new", "A: Keep = SZ:k", "A\\Sub"}},
      {"NoRemove changes nothing when registering",
       nullptr,
       {},
       "NoRemove A\n{\n\tNoRemove val V = s v\n}",
       true,
       S_OK,
       {"A", "A: V = SZ:v"}},
  });
}

TEST_F(WalkTest, ValueKinds) {
  RunCases({
      {"M: items separated and ended", nullptr, {}, "val M = m 'a\\0b\\0'", true, S_OK, {".: M = MULTI:6100620000"}},
      {"M: without the final separator", nullptr, {}, "val M = m 'a\\0b'", true, S_OK, {".: M = MULTI:6100620000"}},
      {"M: an empty item ends the list", nullptr, {}, "val M = m 'a\\0\\0b'", true, S_OK, {".: M = MULTI:610000"}},
      {"M: empty", nullptr, {}, "val M = m ''", true, S_OK, {".: M = MULTI:00"}},
      {"M: a backslash not before 0 stays",
       nullptr,
       {},
       "val M = m 'a\\b\\'",
       true,
       S_OK,
       {".: M = MULTI:615c625c0000"}},
      {"B: digits of any case", nullptr, {}, "val B = b 0aFF", true, S_OK, {".: B = BIN:0aff"}},
      {"B: empty", nullptr, {}, "val B = b ''", true, S_OK, {".: B = BIN:"}},
      {"B: other characters count as 0", nullptr, {}, "val B = b zz1G", true, S_OK, {".: B = BIN:0010"}},
      {"B: odd number of digits", nullptr, {}, "val B = b 0aF", true, E_FAIL, {}},
      {"D: largest", nullptr, {}, "val D = d 4294967295", true, S_OK, {".: D = DWORD:4294967295"}},
      {"D: zero", nullptr, {}, "val D = d 0", true, S_OK, {".: D = DWORD:0"}},
      {"D: too large", nullptr, {}, "val D = d 4294967296", true, DISP_E_EXCEPTION, {}},
      {"D: not a number", nullptr, {}, "val D = d abc", true, DISP_E_EXCEPTION, {}},
      {"D: the characters beside the digits", nullptr, {}, "val D = d 1:", true, DISP_E_EXCEPTION, {}},
      {"D: the characters beside the digits, below", nullptr, {}, "val D = d /1", true, DISP_E_EXCEPTION, {}},
      {"D: empty", nullptr, {}, "val D = d ''", true, DISP_E_EXCEPTION, {}},
      {"D: trailing junk", nullptr, {}, "val D = d 12x", true, DISP_E_EXCEPTION, {}},
      {"D: leading zeros", nullptr, {}, "val D = d 007", true, S_OK, {".: D = DWORD:7"}},
      // Forms a general number conversion takes: decimal digits only are a number here.
      {"D: a fraction", nullptr, {}, "val D = d 1.5", true, DISP_E_EXCEPTION, {}},
      {"D: a fraction that rounds down", nullptr, {}, "val D = d 2.5", true, DISP_E_EXCEPTION, {}},
      {"D: hexadecimal", nullptr, {}, "val D = d &H10", true, DISP_E_EXCEPTION, {}},
      {"D: thousands separator", nullptr, {}, "val D = d 1,000", true, DISP_E_EXCEPTION, {}},
      {"D: exponent", nullptr, {}, "val D = d 1e3", true, DISP_E_EXCEPTION, {}},
      {"D: parentheses", nullptr, {}, "val D = d (0)", true, DISP_E_EXCEPTION, {}},
      {"D: minus sign", nullptr, {}, "val D = d -0", true, DISP_E_EXCEPTION, {}},
      {"D: plus sign", nullptr, {}, "val D = d +5", true, DISP_E_EXCEPTION, {}},
      {"D: blanks around the digits", nullptr, {}, "val D = d ' 5 '", true, DISP_E_EXCEPTION, {}},
      {"D: far too large", nullptr, {}, "val D = d 99999999999999999999", true, DISP_E_EXCEPTION, {}},
  });
}

TEST_F(WalkTest, LargeBinaryAndMultiTextValues) {
  // 802 bytes of binary and a 600-byte list need buffers beyond the ones inside the frame; the
  // list's (802 bytes) takes the place the binary's left, so it must end by itself.
  std::string hex, expectHex;
  for (int i = 0; i < 802; ++i) {
    static const char* digits = "0123456789abcdef";
    hex += digits[i % 16];
    hex += digits[(i / 16) % 16];
    expectHex += hex.substr(hex.size() - 2);
  }
  std::string items, expectItems;
  for (int i = 0; i < 200; ++i) {
    items += "xy\\0";
    expectItems += "787900";
  }
  expectItems += "00";
  // One item of 300 bytes: the list takes two bytes more than the text.
  std::string expectItem;
  for (int i = 0; i < 300; ++i) expectItem += "78";
  ASSERT_EQ(S_OK, Register("val B = b " + hex + "\nval M = m '" + items + "'\nval N = m " + std::string(300, 'x')));
  EXPECT_EQ(Expect({".: B = BIN:" + expectHex, ".: M = MULTI:" + expectItems, ".: N = MULTI:" + expectItem + "0000"}),
            State());
}

TEST_F(WalkTest, ForcedRemovalAndDelete) {
  RunCases({
      {"ForceRemove replaces a key and everything below it",
       "A = s 'old'\n{\n\tval Stale = s s\n\tOld\n\t{\n\t\tDeep\n\t}\n}",
       {},
       "ForceRemove A = s 'new'\n{\n\tB\n}",
       true,
       S_OK,
       {"A", "A: @ = SZ:new", "A\\B"}},
      {"ForceRemove of a missing key is no error", nullptr, {}, "ForceRemove A", true, S_OK, {"A"}},
      {"Delete removes the tree and ignores the assignment",
       nullptr,
       {"A\\Sub\\Deep"},
       "Delete A = s 'ignored'\nB",
       true,
       S_OK,
       {"B"}},
      {"Delete of a missing key is no error", nullptr, {}, "Delete A", true, S_OK, {}},
      {"Delete is followed by NoRemove or another entry", nullptr, {"A"}, "Delete A\nNoRemove B", true, S_OK, {"B"}},
      {"ForceRemove then NoRemove", nullptr, {"A\\Old"}, "ForceRemove A\nNoRemove B", true, S_OK, {"A", "B"}},
  });
}

TEST_F(WalkTest, ForcedRemovalNeverDeletesProtectedNames) {
  const char* names[] = {"appid",    "CLSID",     "'component categories'",
                         "filetype", "INTERFACE", "Hardware",
                         "mime",     "sam",       "Security",
                         "system",   "SOFTWARE",  "typelib"};
  const char* stored[] = {"appid",    "CLSID",     "component categories",
                          "filetype", "INTERFACE", "Hardware",
                          "mime",     "sam",       "Security",
                          "system",   "SOFTWARE",  "typelib"};
  for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
    Create(std::string(stored[i]) + "\\Keep");
    Create(std::string("P\\Q\\") + stored[i] + "\\Keep");
    // Directly in the block and two levels down, with ForceRemove and with Delete.
    const std::string name = names[i];
    EXPECT_EQ(S_OK, Register("ForceRemove " + name + "\nP\n{\n\tQ\n\t{\n\t\tDelete " + name + "\n\t}\n}"));
    EXPECT_EQ(Expect({stored[i], std::string(stored[i]) + "\\Keep", "P", "P\\Q", std::string("P\\Q\\") + stored[i],
                      std::string("P\\Q\\") + stored[i] + "\\Keep"}),
              State());
  }
}

// Read when unregistering as key P holding A (with B), D (with E) and C.
constexpr const char* kNestedBlocks = "P\n{\n\tDelete A\n\t{\n\t\tB\n\t}\n\tD {x E }\n\tC\n}";

TEST_F(WalkTest, Unregistering) {
  RunCases({
      {"removes what it registered",
       "A = s 'x'\n{\n\tB\n\t{\n\t\tval V = s v\n\t}\n}\nval W = s w",
       {},
       "A = s 'x'\n{\n\tB\n\t{\n\t\tval V = s v\n\t}\n}\nval W = s w",
       false,
       S_OK,
       {}},
      {"keeps NoRemove keys and values",
       "NoRemove A\n{\n\tNoRemove val V = s v\n\tval W = s w\n}",
       {},
       "NoRemove A\n{\n\tNoRemove val V = s v\n\tval W = s w\n}",
       false,
       S_OK,
       {"A", "A: V = SZ:v"}},
      {"absent keys and values are no error",
       nullptr,
       {},
       "A\n{\n\tB\n\t{\n\t\tval V = s v\n\t}\n}\nval W = s w",
       false,
       S_OK,
       {}},
      {"a key that gained a subkey stays and stops the walk",
       "A\n{\n\tB\n}\nC",
       {"A\\Extra"},
       "A\n{\n\tB\n}\nC",
       false,
       kDeleteRefused,
       {"A", "A\\Extra", "C"}},
      {"a NoRemove key below stops its parent's deletion",
       "A\n{\n\tNoRemove C\n}",
       {},
       "A\n{\n\tNoRemove C\n}",
       false,
       kDeleteRefused,
       {"A", "A\\C"}},
      {"the block of an absent key is skipped",
       nullptr,
       {"Present\\Inner"},
       "Absent\n{\n\tPresent\n\t{\n\t\tInner\n\t}\n}",
       false,
       S_OK,
       {"Present", "Present\\Inner"}},
      {"skipping ends with the entry", nullptr, {"Present"}, "Absent\n{\n\tX\n}\nPresent", false, S_OK, {}},
      {"Delete and ForceRemove are plain entries", "A\nB", {}, "Delete A\nForceRemove B", false, S_OK, {}},
      {"a protected name without NoRemove is deleted",
       "K\n{\n\tTypeLib = s x\n}",
       {},
       "K\n{\n\tTypeLib = s x\n}",
       false,
       S_OK,
       {}},
      {"the default value goes with the key", "A = s 'x'", {}, "A = s 'other'", false, S_OK, {}},
      {"a brace after a value entry names a key", "val V = s v", {"{", "W"}, "val V = s v\n{\nW", false, S_OK, {}},
      // Nested: "Delete" before a key with a block, and a token that begins with "{" opening one.
      {"nested Delete with a block and a brace token, keys present",
       nullptr,
       {"P\\A\\B", "P\\D\\E", "P\\C", "Keep"},
       kNestedBlocks,
       false,
       S_OK,
       {"Keep"}},
      {"the same, the keys with blocks absent", nullptr, {"P\\C", "Keep"}, kNestedBlocks, false, S_OK, {"Keep"}},
      {"the same, every key absent", nullptr, {"Keep"}, kNestedBlocks, false, S_OK, {"Keep"}},
  });
}

TEST_F(WalkTest, SyntaxErrors) {
  const std::string tooLong(4095, 'x');
  const std::string longestValueName(259, 'v');
  const std::string tooLongValueName(260, 'v');
  const std::vector<WalkCase> cases = {
      {"end of text inside a block", nullptr, {}, "A\n{", true, DISP_E_EXCEPTION, {}},
      {"unknown type letter", nullptr, {}, "A = x 'v'", true, DISP_E_EXCEPTION, {}},
      {"a type of two letters", nullptr, {}, "A = ss 'v'", true, DISP_E_EXCEPTION, {}},
      {"value entry without equals sign", nullptr, {}, "val V s 'v'", true, DISP_E_EXCEPTION, {}},
      {"key name with a backslash", nullptr, {}, "A\\B", true, DISP_E_EXCEPTION, {}},
      {"forced removal of a name with a backslash",
       nullptr,
       {"A\\B"},
       "ForceRemove A\\B",
       true,
       DISP_E_EXCEPTION,
       {"A", "A\\B"}},
      {"block after Delete", nullptr, {}, "Delete A\n{\n}", true, DISP_E_EXCEPTION, {}},
      {"block after a value entry", nullptr, {}, "val V = s v\n{\n}", true, DISP_E_EXCEPTION, {}},
      {"empty key name", nullptr, {}, "'' = s 'x'", true, DISP_E_EXCEPTION, {}},
      {"forced removal of an empty name keeps the parent",
       nullptr,
       {"Keep"},
       "ForceRemove ''",
       true,
       DISP_E_EXCEPTION,
       {"Keep"}},
      {"empty key name when unregistering", nullptr, {"Keep"}, "''", false, DISP_E_EXCEPTION, {"Keep"}},
      {"unclosed quote: the roll-back stops at it too", nullptr, {}, "A = s 'abc", true, DISP_E_EXCEPTION, {"A"}},
  };
  RunCases(cases);
  RunCases({
      {"token of 4095 bytes: the roll-back stops at it too",
       nullptr,
       {},
       ("A = s '" + tooLong + "'").c_str(),
       true,
       DISP_E_EXCEPTION,
       {"A"}},
      {"value name of 259 bytes",
       nullptr,
       {},
       ("val " + longestValueName + " = s x").c_str(),
       true,
       S_OK,
       {".: " + longestValueName + " = SZ:x"}},
      {"value name of 260 bytes",
       nullptr,
       {},
       ("val " + tooLongValueName + " = s x").c_str(),
       true,
       DISP_E_EXCEPTION,
       {}},
      {"value name of 260 bytes when unregistering",
       nullptr,
       {},
       ("val " + tooLongValueName + " = s x").c_str(),
       false,
       DISP_E_EXCEPTION,
       {}},
  });
}

TEST_F(WalkTest, RollBackOfAFailedRootBlock) {
  RunCases({
      {"keeps NoRemove keys, removes the rest",
       nullptr,
       {},
       "NoRemove A\n{\n\tB\n}\nC = s x\nval V = s v\nbad\\name",
       true,
       DISP_E_EXCEPTION,
       {"A"}},
      {"removes keys that existed before", "Pre = s 'p'", {}, "Pre\nbad\\name", true, DISP_E_EXCEPTION, {}},
      {"stops at a key that has other subkeys",
       nullptr,
       {"A\\Other"},
       "A\n{\n\tB\n}\nbad\\name",
       true,
       DISP_E_EXCEPTION,
       {"A", "A\\Other"}},
      {"returns the registration's failure, not the roll-back's",
       nullptr,
       {"A\\Other"},
       "A\n{\n\tB\n}\nval V = b 123",
       true,
       E_FAIL,
       {"A", "A\\Other"}},
  });
}

TEST_F(WalkTest, RollBackActsOnlyWhereTheRegistrationNamedKeys) {
  // Keys beside the named ones at every level, under names the scripts use elsewhere. Afterwards
  // the test key holds exactly these, plus the NoRemove keys that the registration created.
  const std::vector<std::string> siblings = {"Child", "Software\\Child", "Software\\Important", "Software\\Deep\\Child",
                                             "Software\\Deep\\Important"};
  std::vector<std::string> start = siblings;
  start.insert(start.end(), {"Software", "Software\\Deep"});
  std::vector<std::string> startAndKeep = start;
  startAndKeep.push_back("Software\\Keep");
  RunCases({
      {"a block after a value entry", nullptr, siblings,
       "NoRemove Software\n{\n\tval V = s x\n\t{\n\t\tImportant\n\t}\n\tChild\n}", true, DISP_E_EXCEPTION, start},
      {"a block after a value entry two levels down", nullptr, siblings,
       "NoRemove Software\n{\n\tNoRemove Deep\n\t{\n\t\tval V = s x\n\t\t{\n\t\t\tImportant\n\t\t}\n\t\tChild\n\t}\n}",
       true, DISP_E_EXCEPTION, start},
      {"a block after Delete", nullptr, siblings,
       "NoRemove Software\n{\n\tDelete Gone\n\t{\n\t\tImportant\n\t}\n\tChild\n}", true, DISP_E_EXCEPTION, start},
      {"a braced name after a key without a block", nullptr, siblings,
       "NoRemove Software\n{\n\tA\n\t{x}\n\tNoRemove Keep\n\t{\n\t}\n}\nImportant\nbad\\name", true, DISP_E_EXCEPTION,
       startAndKeep},
      {"unregistering: a syntax error in the block of an absent key", nullptr, siblings,
       "Absent\n{\n\tval V s Child\n}", false, DISP_E_EXCEPTION, start},
  });
}

TEST_F(WalkTest, RootBlocksBeforeAFailedOneStay) {
  EXPECT_EQ(DISP_E_EXCEPTION, RunText(Wrap("A") + Wrap("B\nbad\\name"), true));
  EXPECT_EQ(Expect({"A"}), State());
}

TEST_F(WalkTest, RegisteringTwiceLeavesTheSameState) {
  const std::string script = "ForceRemove A = s 'x'\n{\n\tB = d 5\n\tval V = b 01\n}\nC\n{\n\tval W = m 'a\\0b'\n}";
  ASSERT_EQ(S_OK, Register(script));
  const std::string once = State();
  Create("A\\Stale");
  ASSERT_EQ(S_OK, Register(script));
  EXPECT_EQ(once, State());
  ASSERT_EQ(S_OK, Unregister(script));
  EXPECT_EQ(Expect({}), State());
}

// `depth` nested keys "k", each with a block.
std::string Nested(int depth) {
  std::string body;
  body.reserve(static_cast<size_t>(depth) * 6);
  for (int i = 0; i < depth; ++i) body += "k\n{\n";
  for (int i = 0; i < depth; ++i) body += "}\n";
  return body;
}

TEST_F(WalkTest, DeepScripts) {
  constexpr HRESULT kTooDeep = ResultFromWin32(ERROR_STACK_OVERFLOW);
  struct Row {
    const char* name;
    std::size_t stackLeft;
    int depth;
    HRESULT registered;  // then, when it succeeded, unregistered on the same stack
  };
  // Any result but running out of stack: Windows (and the host registry) nest keys at most 512
  // levels deep and refuse the next one; Wine nests deeper.
  constexpr HRESULT kRegistryDecides = E_FAIL;
  // The test key is three levels below the root.
  const Row rows[] = {
      {"registered and unregistered on the same stack", 1024 * 1024 - 64 * 1024, 500, S_OK},
      {"deeper than the stack: rolled back completely", 64 * 1024, 400, kTooDeep},
      {"deeper than the registry: rolled back completely", 1024 * 1024 - 64 * 1024, 2000, kRegistryDecides},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string body = Nested(row.depth);
    HRESULT registered = S_OK, unregistered = S_OK;
    ASSERT_TRUE(RunWithStackLeft(row.stackLeft, [&] {
      registered = Register(body);
      if (registered == S_OK) unregistered = Unregister(body);
    }));
    if (row.registered == kRegistryDecides) {
      EXPECT_NE(kTooDeep, registered);
    } else {
      EXPECT_EQ(row.registered, registered);
    }
    EXPECT_EQ(S_OK, unregistered);
    const std::string state = State();
    EXPECT_EQ(0, std::count(state.begin(), state.end(), '\n') - 1) << "keys left behind";
  }
  // A roll-back that runs out of stack says so: the registration fails at its first entry, and
  // its roll-back enters the keys of an earlier one, deeper than the stack allows.
  ASSERT_EQ(S_OK, Register(Nested(400)));
  HRESULT registered = S_OK;
  ASSERT_TRUE(RunWithStackLeft(64 * 1024, [&] { registered = Register("val V = b 123\n" + Nested(400)); }));
  EXPECT_EQ(kTooDeep, registered);
}

TEST_F(WalkTest, ForcedRemovalWithLittleStackLeft) {
  // At every amount of stack a forced removal either completes or fails with the stack error and
  // leaves the old tree whole: never success with the old tree left in place, never a refusal
  // that deleted part of it. The old tree is deeper than the removal's first level, which the
  // walk's own budget covers, and branches: the shallow branch comes first and would be gone
  // before the deep one ran out of stack.
  constexpr HRESULT kTooDeep = ResultFromWin32(ERROR_STACK_OVERFLOW);
  std::vector<std::string> oldTree = {"A", "A\\B"};
  for (const char* level : {"\\Old", "\\1", "\\2", "\\3", "\\4", "\\5"}) {
    oldTree.push_back((oldTree.size() == 2 ? oldTree.front() : oldTree.back()) + level);
  }
  int completed = 0, refused = 0;
  for (std::size_t left = 16 * 1024; left <= 96 * 1024; left += 256) {
    SCOPED_TRACE(left);
    ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
    Create("A\\B");
    Create(oldTree.back());
    HRESULT result = E_UNEXPECTED;
    ASSERT_TRUE(RunWithStackLeft(left, [&] { result = Register("ForceRemove A = s new"); }));
    if (result == S_OK) {
      ++completed;
      EXPECT_EQ(Expect({"A", "A: @ = SZ:new"}), State());
    } else {
      ++refused;
      EXPECT_EQ(kTooDeep, result);
      EXPECT_EQ(Expect(oldTree), State());
    }
  }
  EXPECT_GT(completed, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(WalkTest, UnregisteringReadsThroughAbsentKeysOfAnyDepth) {
  // Far deeper than any stack would hold one frame per level.
  EXPECT_EQ(S_OK, Unregister(Nested(100000)));
  EXPECT_EQ(Expect({}), State());
}

TEST_F(WalkTest, RootKeyNames) {
  struct Row {
    const char* root;
    HRESULT expected;
  };
  const Row rows[] = {{"HKCU", S_OK},
                      {"hkcu", S_OK},
                      {"HKEY_CURRENT_USER", S_OK},
                      {"hKeY_cUrReNt_UsEr", S_OK},
                      {"HKCU\\Software", DISP_E_EXCEPTION},
                      {"HKXX", DISP_E_EXCEPTION}};
  const std::string wrapped = Wrap("A");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.root);
    ASSERT_TRUE(DeleteTree(HKEY_CURRENT_USER, KeyPath()));
    ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, KeyPath()));
    EXPECT_EQ(row.expected, RunText(row.root + wrapped.substr(4), true));
    EXPECT_EQ(row.expected == S_OK ? Expect({"A"}) : Expect({}), State());
  }
  // Each name, short and long, stands for its own root key.
  const std::pair<const char*, HKEY> roots[] = {{"HKCR", HKEY_CLASSES_ROOT},
                                                {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                                                {"HKCU", HKEY_CURRENT_USER},
                                                {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                                {"HKLM", HKEY_LOCAL_MACHINE},
                                                {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                                {"HKU", HKEY_USERS},
                                                {"HKEY_USERS", HKEY_USERS},
                                                {"HKPD", HKEY_PERFORMANCE_DATA},
                                                {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
                                                {"HKDD", HKEY_DYN_DATA},
                                                {"HKEY_DYN_DATA", HKEY_DYN_DATA},
                                                {"HKCC", HKEY_CURRENT_CONFIG},
                                                {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
  for (const auto& [name, root] : roots) EXPECT_EQ(root, FindRootKey(name)) << name;
}

TEST_F(WalkTest, ScriptStructure) {
  struct Row {
    const char* name;
    std::string text;
    HRESULT expected;
  };
  const Row rows[] = {
      {"empty script", "", S_OK},
      {"white space alone", " \r\n\t", DISP_E_EXCEPTION},
      {"root key not followed by a brace", "HKCU x", DISP_E_EXCEPTION},
      {"root key at the end", "HKCU", DISP_E_EXCEPTION},
      {"white space after the last block", Wrap("A") + " \r\n", S_OK},
      {"a token that begins with a brace opens the root block", "HKCU {x }", S_OK},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.expected, RunText(row.text, true));
  }
}

}  // namespace
}  // namespace pellmora::testing
