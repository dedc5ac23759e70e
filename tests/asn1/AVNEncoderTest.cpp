#include "TestSchema.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <sstream>
#include <string>

namespace {

std::string Print(const ASN1::AbstractData& value) {
  std::ostringstream text;
  text << value;
  EXPECT_TRUE(text.good());
  return text.str();
}

// The forms the decoder test does not print back after reading them.
TEST(AVNEncoder, PrintsEachKind) {
  auto octets = [](std::string bytes) {
    return std::make_unique<ASN1::OCTET_STRING>(std::vector<char>(bytes.begin(), bytes.end()),
                                                &ASN1::OCTET_STRING::theInfo);
  };
  auto bits = [](std::string text) {
    auto value = std::make_unique<ASN1::BIT_STRING>();
    value->resize(static_cast<uint32_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
      value->set(static_cast<uint32_t>(i), text[i] == '1');
    }
    return value;
  };
  auto sparse = [](int number) {
    auto value = std::make_unique<test::Sparse>();
    value->setValue(number);
    return value;
  };
  auto messages = std::make_unique<ASN1::SET_OF<test::Message>>();
  messages->push_back(test::MakeCommand(1, std::nullopt, test::Command::ping));

  const struct {
    const char* name;
    std::unique_ptr<ASN1::AbstractData> value;
    const char* text;
  } kCases[] = {
      {"negative range", std::make_unique<ASN1::INTEGER>(INT_MIN, &ASN1::INTEGER::theInfo), "-2147483648"},
      {"named value below 0", sparse(-1), "low"},
      {"value without a name", sparse(7), "7"},
      {"no octets", octets(""), "''H"},
      {"no bits", bits(""), "''B"},
      {"string", std::make_unique<ASN1::IA5String>("say \"hi\""), "\"say \"hi\"\""},
      {"sequence without fields present", std::make_unique<test::Tone>(), "{\n  a 0\n}"},
      {"nested sequence", std::move(messages), "{\n  {\n    seq 1,\n    pdu command : ping : NULL\n  }\n}"},
      {"empty sequence", std::make_unique<ASN1::SEQUENCE>(&ASN1::SEQUENCE::theInfo), "{\n}"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Print(*c.value), c.text);
  }
}

TEST(AVNEncoder, UnprintableChoiceFailsThatStreamOnly) {
  test::Message no_selection;
  test::Message bad_index = test::MakeCommand(1, std::nullopt, test::Command::ping);
  bad_index.get_pdu().setSelection(7, new ASN1::Null);
  for (const test::Message* message : {&no_selection, &bad_index}) {
    std::ostringstream stream;
    stream << *message;
    EXPECT_TRUE(stream.fail());
    stream << "later";
    EXPECT_EQ(stream.str().find("later"), std::string::npos);

    const std::string text = message->asValueNotation();
    EXPECT_NE(text.find(ASN1::AbstractData::kPrintFailedMarker), std::string::npos) << text;
  }
}

}  // namespace
