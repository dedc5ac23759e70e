#include "runtime/config/IniFileReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

namespace IniFile {
namespace {

enum AddressType : uint32_t { kNone = 0, kLemzgw = 1, kVost = 2, kLemzgwKl = 4 };

const Symbol<AddressType> kAddressTypes[] = {
    {"lemzgw", kLemzgw}, {"vost", kVost}, {"lemzgw.kl", kLemzgwKl}, {nullptr, kNone}};

// The variables of one reader: two required keys and two optional ones. Every
// variable starts from a value no row writes, so "unchanged" is visible.
struct Bound {
  std::string name = "unset";
  AddressType type = static_cast<AddressType>(99);
  bool flag = false;
  std::string note = "unset";
  bool flag_present = false;
  bool note_present = false;
};

struct Outcome {
  bool result;
  std::string log;
};

Outcome Read(const std::string& text, Bound& bound, File& file) {
  std::istringstream in(text);
  in >> file;
  std::ostringstream log;
  Reader reader("p: ", log);
  reader.required.add(&bound.name, "name");
  reader.required.add(&bound.type, "type", kAddressTypes);
  bool& flag_present = reader.optional.add(&bound.flag, "flag");
  bool& note_present = reader.optional.add(&bound.note, "note");
  bool result = reader.parse(*file["s"].begin());
  bound.flag_present = flag_present;
  bound.note_present = note_present;
  return {result, log.str()};
}

TEST(IniFileReader, ReportsEachFaultWithItsLines) {
  const struct {
    const char* name;
    const char* text;
    bool result;
    const char* log;
    const char* name_value;
    uint32_t type;
    bool flag_present;
    bool note_present;
  } kCases[] = {
      {"all keys given", "[s]\nname = gw\ntype = vost\nflag = enabled\nnote =\n", true, "", "gw", 2, true, true},
      {"optional keys may be left out", "[s]\nname = gw\ntype = 0x4\n", true, "", "gw", 4, false, false},
      {"required key missing names the header line", "\n\n\n\n\n\n\n\n\n\n\n[s]\ntype = vost\n", false,
       "p: required key \"name\" not present, line 12\n", "unset", 99, false, false},
      {"the first required fault ends the parse", "[s]\nname = gw\ntype = bogus\nflag = On\n", false,
       "p: required key \"type\" has invalid value=\"bogus\", line 3\n", "gw", 99, false, false},
      {"required key duplicated", "[s]\nname = a\ntype = 1\nname = b\n", false,
       "p: required key \"name\" is duplicated!\np:  first occurence at 2 line.\np:  second occurence at 4 line.\n",
       "unset", 99, false, false},
      {"required key more than twice; keys read before stay written", "[s]\ntype = 1\ntype = 2\nname = x\ntype = 4\n",
       false, "p: required key \"type\" specified more than once: 2 3 5 lines\n", "x", 99, false, false},
      {"optional bool in the wrong case", "[s]\nname = gw\ntype = 1\nflag = On\n", true,
       "p: optional key \"flag\" has invalid value=\"On\", line 4. Key will be ignored.\n", "gw", 1, false, false},
      {"optional key duplicated", "[s]\nname = gw\ntype = 1\nnote = a\nnote = b\n", true,
       "p: optional key \"note\" is duplicated!\np:  first occurence at 4 line.\n"
       "p:  second occurence at 5 line. Both keys will be ignored.\n",
       "gw", 1, false, false},
      {"optional key three times", "[s]\nname = gw\ntype = 1\nflag = yes\n\nflag = no\n\n\nflag = 1\n", true,
       "p: optional key \"flag\" specified more than once: 4 6 9 lines. All keys will be ignored.\n", "gw", 1, false,
       false},
      {"optional faults are all reported", "[s]\nname = gw\ntype = 1\nflag = maybe\nnote = a\nnote = b\nnote = c\n",
       true,
       "p: optional key \"flag\" has invalid value=\"maybe\", line 4. Key will be ignored.\n"
       "p: optional key \"note\" specified more than once: 5 6 7 lines. All keys will be ignored.\n",
       "gw", 1, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Bound bound;
    File file;
    Outcome outcome = Read(c.text, bound, file);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.log, c.log);
    EXPECT_EQ(bound.name, c.name_value);
    EXPECT_EQ(static_cast<uint32_t>(bound.type), c.type);
    EXPECT_EQ(bound.flag_present, c.flag_present);
    EXPECT_EQ(bound.note_present, c.note_present);
  }
}

TEST(IniFileReader, ConvertsEnumerationsByTableAndByNumber) {
  const struct {
    const char* text;
    std::optional<uint32_t> value;
  } kCases[] = {
      {"lemzgw", 1},
      {"lemzgw.kl", 4},
      {"vost", 2},
      {"VOST", std::nullopt},
      {"2", 2},
      {"0x2", 2},
      {"010", 8},
      {"+3", 3},
      {"7", 7},
      {"2x", std::nullopt},
      {"", std::nullopt},
      {"-1", std::nullopt},
      {"0x100000000", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    AddressType target = kNone;
    Private::TKeyValue<AddressType> binding(&target, "k", kAddressTypes);
    EXPECT_EQ(binding.do_parse(c.text), c.value.has_value());
    EXPECT_EQ(static_cast<uint32_t>(target), c.value.value_or(0));
  }
}

TEST(IniFileReader, SignedEnumerationsTakeNegativeNumbers) {
  enum class Level : int8_t { kLow = -1 };
  Level target = Level::kLow;
  Private::TKeyValue<Level> binding(&target, "k", nullptr);
  EXPECT_TRUE(binding.do_parse("-128"));
  EXPECT_EQ(static_cast<int>(target), -128);
  EXPECT_FALSE(binding.do_parse("128"));
  EXPECT_EQ(static_cast<int>(target), -128);
}

}  // namespace
}  // namespace IniFile
