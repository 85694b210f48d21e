// The lexer: tokens, quoting, white space and the token size limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"

namespace pellmora::testing {
namespace {

struct Tokens {
  std::vector<std::string> tokens;
  HRESULT last;  // the result of the read that ended the loop
  bool atEnd;    // whether that read met the end of the text
};

// Reads tokens until a read fails.
Tokens ReadAll(const std::string& text) {
  ScriptRegistrar registrar;
  ScriptParser parser(registrar);
  parser.SetCursor(text.c_str());
  Tokens result;
  char token[kTokenCapacity];
  for (;;) {
    result.last = parser.ReadToken(token);
    if (FAILED(result.last)) break;
    result.tokens.emplace_back(token);
  }
  result.atEnd = *parser.Cursor() == '\0';
  return result;
}

TEST(ReadToken, SplitsTheTextIntoTokens) {
  struct Row {
    const char* name;
    std::string text;
    std::vector<std::string> tokens;
  };
  const std::vector<Row> rows = {
      {"separated by the four white space characters", "a b\tc\r\nd\re", {"a", "b", "c", "d", "e"}},
      {"quoted token keeps blanks", "'a b' c", {"a b", "c"}},
      {"quoted token spans lines", "'one\r\n two'", {"one\r\n two"}},
      {"doubled apostrophe", "'it''s'", {"it's"}},
      {"empty quoted token", "'' x", {"", "x"}},
      {"only a doubled apostrophe", "'''' x", {"'", "x"}},
      {"closing apostrophe ends the token", "'a'b", {"a", "b"}},
      {"quoted name directly followed by equals", "'A'= s", {"A", "=", "s"}},
      {"apostrophe inside an unquoted token", "a'b c'", {"a'b", "c'"}},
      {"vertical tab and form feed are token characters", "x\vy\fz w", {"x\vy\fz", "w"}},
      {"braces and equals need white space around them", "{a}=b {", {"{a}=b", "{"}},
      {"other control characters are token characters", std::string("a\x01\x1f b", 5), {"a\x01\x1f", "b"}},
      {"leading and trailing white space", "  \r\n a  \t", {"a"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Tokens read = ReadAll(row.text);
    EXPECT_EQ(row.tokens, read.tokens);
    EXPECT_EQ(DISP_E_EXCEPTION, read.last);
    EXPECT_TRUE(read.atEnd);
  }
}

TEST(ReadToken, Failures) {
  struct Row {
    const char* name;
    std::string text;
    size_t tokensBefore;
  };
  const std::vector<Row> rows = {
      {"end of text", "", 0},
      {"white space then end of text", " \r\n", 0},
      {"quote without closing apostrophe", "a 'bc", 1},
      {"doubled apostrophe then end", "'a''", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Tokens read = ReadAll(row.text);
    EXPECT_EQ(row.tokensBefore, read.tokens.size());
    EXPECT_EQ(DISP_E_EXCEPTION, read.last);
  }
}

TEST(ReadToken, HoldsAtMost4094SingleByteCharacters) {
  struct Row {
    const char* name;
    std::string text;
    bool fits;
  };
  const std::string longest(4094, 'x');
  const std::string tooLong(4095, 'x');
  const std::vector<Row> rows = {
      {"4094 bytes", longest + " y", true},
      {"4095 bytes", tooLong + " y", false},
      {"quoted 4094 bytes", "'" + longest + "' y", true},
      {"quoted 4095 bytes", "'" + tooLong + "' y", false},
      {"4093 bytes and a doubled apostrophe", "'" + longest.substr(1) + "''' y", true},
      {"4094 bytes and a doubled apostrophe", "'" + longest + "''' y", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptRegistrar registrar;
    ScriptParser parser(registrar);
    parser.SetCursor(row.text.c_str());
    char token[kTokenCapacity];
    if (row.fits) {
      ASSERT_EQ(S_OK, parser.ReadToken(token));
      EXPECT_EQ(4094u, std::string(token).size());
      ASSERT_EQ(S_OK, parser.ReadToken(token));
      EXPECT_STREQ("y", token);
    } else {
      EXPECT_EQ(DISP_E_EXCEPTION, parser.ReadToken(token));
      EXPECT_EQ(4094u, std::string(token).size()) << "what was read stays terminated inside the buffer";
    }
  }
}

TEST(SkipValue, ReadsPastAnAssignment) {
  struct Row {
    const char* name;
    const char* first;  // the token already read
    std::string rest;
    HRESULT expected;
    const char* after;  // the token in the buffer afterwards
  };
  const std::vector<Row> rows = {
      {"assignment", "=", " s 'a value' next", S_OK, "next"},
      {"type letter is not checked", "=", " zz v next", S_OK, "next"},
      {"token that begins with equals", "=x", " s v next", S_OK, "next"},
      {"no assignment", "name", " s v", S_OK, "name"},
      {"end after the letter", "=", " s", DISP_E_EXCEPTION, nullptr},
      {"end after the value", "=", " s v", DISP_E_EXCEPTION, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptRegistrar registrar;
    ScriptParser parser(registrar);
    parser.SetCursor(row.rest.c_str());
    char token[kTokenCapacity];
    std::strcpy(token, row.first);
    EXPECT_EQ(row.expected, parser.SkipValue(token));
    if (row.after != nullptr) {
      EXPECT_STREQ(row.after, token);
    }
  }
}

}  // namespace
}  // namespace pellmora::testing
