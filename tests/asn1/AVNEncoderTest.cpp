#include "TestSchema.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <sstream>
#include <string>

namespace {

const ASN1::ConstrainedInfo kFull32 = {
    {&ASN1::INTEGER::create, ASN1::kUniversalInteger}, ASN1::ConstraintType::FixedConstraint, 0, 0xFFFFFFFF};
const ASN1::SequenceOfInfo kIntegers = {
    {{&ASN1::SEQUENCE_OF_Base::create, ASN1::kUniversalSequence}, ASN1::ConstraintType::Unconstrained, 0, 0xFFFFFFFF},
    &ASN1::INTEGER::theInfo};

std::string Print(const ASN1::AbstractData& value) {
  std::ostringstream text;
  text << value;
  EXPECT_TRUE(text.good());
  return text.str();
}

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
  auto oid = std::make_unique<ASN1::OBJECT_IDENTIFIER>();
  oid->arcs() = {1, 2, 840};
  auto list = std::make_unique<ASN1::SEQUENCE_OF_Base>(&kIntegers);
  list->insert(0, 2, ASN1::INTEGER(-4, &ASN1::INTEGER::theInfo));
  auto messages = std::make_unique<ASN1::SET_OF<test::Message>>();
  messages->push_back(test::MakeCommand(1, std::nullopt, test::Command::ping));

  const struct {
    const char* name;
    std::unique_ptr<ASN1::AbstractData> value;
    const char* text;
  } kCases[] = {
      {"null", std::make_unique<ASN1::Null>(), "NULL"},
      {"boolean", std::make_unique<ASN1::BOOLEAN>(true, &ASN1::BOOLEAN::theInfo), "TRUE"},
      {"full 32-bit range", std::make_unique<ASN1::INTEGER>(-1, &kFull32), "4294967295"},
      {"unconstrained", std::make_unique<ASN1::INTEGER>(-1, &ASN1::INTEGER::theInfo), "-1"},
      {"negative range", std::make_unique<ASN1::INTEGER>(INT_MIN, &ASN1::INTEGER::theInfo), "-2147483648"},
      {"sparse enumeration", sparse(40), "far"},
      {"named value below 0", sparse(-1), "low"},
      {"value without a name", sparse(7), "7"},
      {"object identifier", std::move(oid), "{ 1 2 840 }"},
      {"octets", octets("\x01\xab\xff"), "'01 ab ff'H"},
      {"no octets", octets(""), "''H"},
      {"bits", bits("101"), "'101'B"},
      {"no bits", bits(""), "''B"},
      {"string", std::make_unique<ASN1::IA5String>("say \"hi\""), "\"say \"hi\"\""},
      {"time", std::make_unique<ASN1::GeneralizedTime>("20240131235959Z"), "\"20240131235959Z\""},
      {"list", std::move(list), "{\n  -4,\n  -4\n}"},
      {"empty list", std::make_unique<ASN1::SEQUENCE_OF_Base>(&kIntegers), "{\n}"},
      {"sequence without fields present", std::make_unique<test::Tone>(), "{\n  a 0\n}"},
      {"message with a choice",
       std::make_unique<test::Message>(test::MakeCommand(1, std::nullopt, test::Command::ping)),
       "{\n  seq 1,\n  pdu command : ping : NULL\n}"},
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
