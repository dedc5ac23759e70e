#include "TestSchema.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <sstream>
#include <string>

namespace {

// Outer ::= SEQUENCE { a INTEGER, b Inner OPTIONAL }, Inner ::= SEQUENCE { c BOOLEAN }
const ASN1::TypeInfo* const kInnerInfos[] = {&ASN1::BOOLEAN::theInfo};
const int32_t kInnerIds[] = {-1};
const char* const kInnerNames[] = {"c"};
const ASN1::SequenceInfo kInner = {{&ASN1::SEQUENCE::create, ASN1::kUniversalSequence},
                                   false,
                                   kInnerInfos,
                                   kInnerIds,
                                   1,
                                   0,
                                   0,
                                   nullptr,
                                   nullptr,
                                   kInnerNames};
const ASN1::TypeInfo* const kOuterInfos[] = {&ASN1::INTEGER::theInfo, &kInner};
const int32_t kOuterIds[] = {-1, 0};
const char* const kOuterNames[] = {"a", "b"};
const ASN1::SequenceInfo kOuter = {{&ASN1::SEQUENCE::create, ASN1::kUniversalSequence},
                                   false,
                                   kOuterInfos,
                                   kOuterIds,
                                   2,
                                   0,
                                   1,
                                   nullptr,
                                   nullptr,
                                   kOuterNames};
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
      {"sparse enumeration", sparse(-1), "low"},
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
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Print(*c.value), c.text);
  }
}

TEST(AVNEncoder, IndentsNestedSequences) {
  ASN1::SEQUENCE outer(&kOuter);
  static_cast<ASN1::INTEGER&>(*outer.getField(0)).setValue(1);
  outer.includeOptionalField(0, 1);
  static_cast<ASN1::BOOLEAN&>(*static_cast<ASN1::SEQUENCE&>(*outer.getField(1)).getField(0)).setValue(true);
  EXPECT_EQ(Print(outer), "{\n  a 1,\n  b {\n    c TRUE\n  }\n}");
  EXPECT_EQ(Print(ASN1::SEQUENCE(&ASN1::SEQUENCE::theInfo)), "{\n}");
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

TEST(IOWrapper, FollowsTheStreamRules) {
  std::ostringstream failed;
  failed.setstate(std::ios_base::failbit);
  failed << ASN1::Null();
  EXPECT_EQ(failed.str(), "");
  EXPECT_EQ(failed.rdstate(), std::ios_base::failbit);

  std::ostringstream throwing;
  throwing.exceptions(std::ios_base::failbit);
  EXPECT_THROW(throwing << test::PDU(), std::ios_base::failure);

  std::ostringstream quiet;
  quiet.exceptions(std::ios_base::badbit);
  EXPECT_NO_THROW(quiet << test::PDU());
  EXPECT_TRUE(quiet.fail());
}

}  // namespace
