#include "runtime/config/IniFile.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace IniFile {
namespace {

// The whole tree on one line per subsection: [name]@line 'key'='value'@line ...
std::string Render(const File& file) {
  std::ostringstream out;
  for (const Section& section : file) {
    for (const SubSection& sub_section : section) {
      out << '[' << section.GetName() << "]@" << sub_section.GetLineNo();
      for (const Key& key : sub_section) {
        for (const SubKey& sub_key : key) {
          out << " '" << key.GetName() << "'='" << sub_key.GetValue() << "'@" << sub_key.GetLineNo();
        }
      }
      out << '\n';
    }
  }
  return out.str();
}

std::string ParseText(const std::string& text) {
  std::istringstream in(text);
  File file;
  in >> file;
  EXPECT_TRUE(file.IsOpened());
  return Render(file);
}

TEST(IniFile, ParsesAwkwardInput) {
  const struct {
    const char* name;
    const char* text;
    const char* tree;
  } kCases[] = {
      {"blanks around key and value, comment after a blank", "[s]\n  key  =  a b  # note\n", "[s]@1 'key'='a b'@2\n"},
      {"'#' without a blank before it stays in the value", "[s]\nkey=a#b\n", "[s]@1 'key'='a#b'@2\n"},
      {"comment right after '='", "[s]\nkey = #x\n", "[s]@1 'key'=''@2\n"},
      {"no value on a last line without newline", "[s]\nkey =", "[s]@1 'key'=''@2\n"},
      {"value on a last line without newline", "[s]\nkey = v", "[s]@1 'key'='v'@2\n"},
      {"a line without '=' does not hide the next header", "[s]\norphan\n[next]\nk = v\n",
       "[s]@1\n[next]@3 'k'='v'@4\n"},
      {"a repeated section gives one subsection per header", "[snmpagent]\nhost = a\n\n[snmpagent]\nhost = b\n",
       "[snmpagent]@1 'host'='a'@2\n[snmpagent]@4 'host'='b'@5\n"},
      {"a repeated key keeps every occurrence", "[s]\nkey = a\nother = x\nkey = b\n",
       "[s]@1 'key'='a'@2 'key'='b'@4 'other'='x'@3\n"},
      {"CR LF line ends", "[s]\r\nkey = v\r\n\r\nk2 = w x\r\n", "[s]@1 'key'='v'@2 'k2'='w x'@4\n"},
      {"blanks inside a header belong to the name", "[ x ]\nk=v\n", "[ x ]@1 'k'='v'@2\n"},
      {"lines before the first header", "k = v\n# c\nstray\n[s]\nk2 = w\n", "[s]@4 'k2'='w'@5\n"},
      {"an unclosed header hides the lines up to the next one", "[s]\na = 1\n[broken\nb = 2\n[t]\nc = 3\n",
       "[s]@1 'a'='1'@2\n[t]@5 'c'='3'@6\n"},
      {"text after ']' is ignored", "[s] junk = 1 # c\nk = v\n", "[s]@1 'k'='v'@2\n"},
      {"tabs are ordinary inside keys and values", "[s]\n\t k\tx = \ta\tb\t\n", "[s]@1 'k\tx'='\ta\tb\t'@2\n"},
      {"'#' and blanks inside a header", "[a #b]\nk = v\n", "[a #b]@1 'k'='v'@2\n"},
      {"blanks inside a key stay, before '=' they go", "[s]\nmy  key   = v\n", "[s]@1 'my  key'='v'@2\n"},
      {"a comment line and an indented header", "[s]\n# k = v\n   [t]\nk = v\n", "[s]@1\n[t]@3 'k'='v'@4\n"},
      {"sections keep the order of first appearance", "[a]\n[b]\n[a]\n", "[a]@1\n[a]@3\n[b]@2\n"},
      {"a header without newline at the end is dropped", "[s]\nk = v\n[t", "[s]@1 'k'='v'@2\n"},
      {"a key without '=' at the end is dropped", "[s]\nk", "[s]@1\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseText(c.text), c.tree);
  }
}

TEST(IniFile, MissingFileLeavesAnEmptyTreeThatStillAnswers) {
  File file("/nonexistent/server.conf");
  EXPECT_FALSE(file.IsOpened());
  EXPECT_EQ(file.GetFileName(), "/nonexistent/server.conf");
  Section& section = file["traces"];
  EXPECT_EQ(section.GetSubSectionCount(), 0);
  EXPECT_EQ(&file["traces"], &section);
  EXPECT_EQ(file.GetSectionCount(), 1);
}

TEST(IniFile, TypedGettersFallBackOnTextsThatDoNotConvert) {
  const struct {
    const char* text;
    bool as_bool;
    int as_int;
    float as_float;
  } kCases[] = {
      {"on", true, -1, -1.0f},     {"off", false, -1, -1.0f}, {"yes", true, -1, -1.0f},         {"On", true, -1, -1.0f},
      {"1", true, 1, 1.0f},        {"0", false, 0, 0.0f},     {"  -42abc", true, -42, -42.0f},  {"2.5", true, 2, 2.5f},
      {"enable", true, -1, -1.0f}, {"", true, -1, -1.0f},     {"99999999999", true, -1, 1e11f},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    SubKey sub_key(c.text, 1);
    EXPECT_EQ(sub_key.GetBool(true), c.as_bool);
    EXPECT_EQ(sub_key.GetInt(-1), c.as_int);
    EXPECT_FLOAT_EQ(sub_key.GetFloat(-1.0f), c.as_float);
  }
}

}  // namespace
}  // namespace IniFile
